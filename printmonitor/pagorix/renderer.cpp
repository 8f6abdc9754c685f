#include "renderer.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "jpeg_page.h"
#include "spooler/monitor_api.h"

namespace pagorix {

namespace {

struct Paper {
    int32_t width, height;  // 1/1200 inch
};
constexpr Paper kPapers[] = {{10200, 13200}, {10200, 16800}, {9921, 14031}, {14028, 19848}};
constexpr uint32_t kDivisors[] = {2, 4, 6, 12, 20};
constexpr int kQualities[] = {50, 70, 80, 90, 100};

template <typename T, size_t N>
const T& Row(const T (&table)[N], int32_t index, const char* what) {
    if (index < 0 || size_t(index) >= N) throw std::out_of_range(what);
    return table[index];
}

}  // namespace

TvpjRenderer::TvpjRenderer() {
    noticeSink_ = [](const orb::TPrintNotice& n, const std::string& host, int port) {
        if (!SendPrintNotice(n, host, port)) OutputDebugStringA("print notice not sent");
    };
    pageSaver_ = SaveJpegFile;
}

size_t TvpjRenderer::LargestBitmapBytes() {
    size_t most = 0;
    for (const Paper& p : kPapers)
        for (uint32_t d : kDivisors) most = std::max(most, size_t(uint32_t(p.width) / d) * size_t(uint32_t(p.height) / d) * 3);
    return most;
}

int TvpjRenderer::QualityOf(int32_t qualityIndex) { return Row(kQualities, qualityIndex, "quality index"); }

void TvpjRenderer::SetFilePrefix(const std::string& prefix) {
    size_t cut = prefix.find_last_of("/\\");
    std::string base = cut == std::string::npos ? prefix : prefix.substr(cut + 1);
    base.erase(std::remove_if(base.begin(), base.end(), [](char c) { return uint8_t(c) < 0x20; }), base.end());
    filePrefix_ = base;
}

void TvpjRenderer::BeginDocument() {
    state_ = stCommand;
    stateAfterParameter_ = stCommand;
    parameter_ = 0;
    pixelByteCount_ = 0;
    pageOpen_ = false;
    discarding_ = false;
}

uint32_t TvpjRenderer::WriteData(const uint8_t* buffer, uint32_t count) {
    if (!buffer || count == 0) return count;
    if (discarding_) {
        SetLastError(kRenderErrorCode);
        return count;
    }
    try {
        Run(buffer, buffer + count);
    } catch (...) {
        // What follows an error cannot be told apart from raster bytes: drop the document's rest.
        discarding_ = true;
        SendNotice(orb::pnRenderError, pageNumber_, exportFolder_, 0);
        SetLastError(kRenderErrorCode);
        return count;
    }
    SetLastError(ERROR_SUCCESS);
    return count;
}

void TvpjRenderer::Run(const uint8_t* p, const uint8_t* end) {
    for (;;) {
        switch (state_) {
        case stCommand:
            if (p == end) return;
            Command(*p++);
            break;
        case stParamLow:
            if (p == end) return;
            parameter_ = *p++;
            state_ = stParamHigh;
            break;
        case stParamHigh:
            if (p == end) return;
            parameter_ |= uint32_t(*p++) << 8;
            state_ = stateAfterParameter_;
            break;
        case stSetX:
            cursorX_ = int32_t(parameter_ * 2 / Row(kDivisors, resolutionIndex_, "resolution index")) + originX_;
            state_ = stCommand;
            break;
        case stSetY:
            cursorY_ = int32_t(parameter_ * 2 / Row(kDivisors, resolutionIndex_, "resolution index")) + originY_;
            state_ = stCommand;
            break;
        case stStartRun:
            runColumn_ = cursorX_;
            runRow_ = cursorY_;
            pixelByteCount_ = 0;
            state_ = parameter_ > 0 ? stRunByte : stCommand;
            break;
        case stRunByte: {
            if (p == end) return;
            // Finish a pixel whose bytes were split across buffers.
            while (pixelByteCount_ > 0 && p < end && parameter_ > 0) {
                TakePixelByte(*p++);
                --parameter_;
            }
            if (pixelByteCount_ == 0 && parameter_ > 0) {
                // Whole pixels straight from the buffer into the scan line.
                size_t whole = std::min<size_t>(parameter_, size_t(end - p)) / 3;
                if (whole) {
                    PutPixels(p, int64_t(whole));
                    p += whole * 3;
                    parameter_ -= uint32_t(whole * 3);
                }
                // One or two bytes left of the run or of the buffer.
                while (p < end && parameter_ > 0) {
                    TakePixelByte(*p++);
                    --parameter_;
                }
            }
            if (parameter_ == 0) state_ = stCommand;
            break;
        }
        case stSkip:
        default:
            state_ = stCommand;
            break;
        }
    }
}

void TvpjRenderer::Command(uint8_t cmd) {
    switch (cmd) {
    case 0x01:
    case 0x02:
        orientation_ = cmd - 1;
        UpdatePageSize();
        break;
    case 0x21: case 0x22: case 0x23: case 0x24:
    case 0x25: case 0x26: case 0x27: case 0x28:
        paperIndex_ = (cmd - 0x21) / 2;
        orientation_ = (cmd - 0x21) % 2;
        UpdatePageSize();
        break;
    case 0x41: case 0x42: case 0x43: case 0x44: case 0x45:
        resolutionIndex_ = cmd - 0x41;
        UpdatePageSize();
        break;
    case 0x50:
        stateAfterParameter_ = stSkip;
        state_ = stParamLow;
        break;
    case 0x71:
        pageNumber_ = 0;
        cursorX_ = cursorY_ = 0;
        resolutionIndex_ = 1;
        paperIndex_ = 2;
        orientation_ = 0;
        UpdatePageSize();
        break;
    case 0x72:
        NewPage();
        break;
    case 0x73:
        EndPage();
        break;
    case 0x74:
        fileCounter_ = 0;
        break;
    case 0x81: case 0x82: case 0x83: case 0x84: case 0x85:
        qualityIndex_ = cmd - 0x81;
        break;
    case 0x91:
        stateAfterParameter_ = stSetX;
        state_ = stParamLow;
        break;
    case 0x92:
        stateAfterParameter_ = stSetY;
        state_ = stParamLow;
        break;
    case 0x93:
        stateAfterParameter_ = stStartRun;
        state_ = stParamLow;
        break;
    case 0x94:
        cursorX_ = originX_;
        break;
    default:  // 0x10, 0x31, 0x32, 0x60, 0x75, 0xA0, 0xA1 and every unknown byte
        break;
    }
}

void TvpjRenderer::UpdatePageSize() {
    const Paper& paper = Row(kPapers, paperIndex_, "paper index");
    uint32_t divisor = Row(kDivisors, resolutionIndex_, "resolution index");
    if (orientation_ != 0 && orientation_ != 1) throw std::out_of_range("orientation");
    pageWidth_ = int32_t(uint32_t(paper.width) / divisor);
    pageHeight_ = int32_t(uint32_t(paper.height) / divisor);
    bitmapWidth_ = orientation_ == 0 ? pageWidth_ : pageHeight_;
    bitmapHeight_ = orientation_ == 0 ? pageHeight_ : pageWidth_;
    originX_ = originY_ = 0;
}

void TvpjRenderer::EnsureBitmap() {
    if (bitmap_.width == bitmapWidth_ && bitmap_.height == bitmapHeight_ &&
        bitmap_.pixels.size() == size_t(bitmapWidth_) * size_t(bitmapHeight_) * 3)
        return;
    size_t bytes = size_t(bitmapWidth_) * size_t(bitmapHeight_) * 3;
    if (bytes > bitmapByteLimit_) throw std::length_error("page bitmap too large");
    // A change of size keeps what is painted where the old and the new bitmap overlap; everything
    // else starts white, never with whatever the memory held.
    const bool hadPixels = !bitmap_.Empty() && bitmap_.pixels.size() == bitmap_.Stride() * size_t(bitmap_.height) &&
                           dirtyRows_.size() == size_t(bitmap_.height);
    const int32_t keepRows = hadPixels ? std::min(bitmap_.height, bitmapHeight_) : 0;
    const size_t oldStride = hadPixels ? bitmap_.Stride() : 0;
    const size_t newStride = size_t(bitmapWidth_) * 3;
    const size_t keepBytes = std::min(oldStride, newStride);
    std::vector<uint8_t> dirty(size_t(bitmapHeight_), 0);
    std::copy_n(dirtyRows_.begin(), keepRows, dirty.begin());
    bitmap_.pixels.resize(std::max(bitmap_.pixels.size(), bytes), 0xFF);
    bitmap_.width = bitmap_.height = 0;
    uint8_t* px = bitmap_.pixels.data();
    // Rows move in the order that never overwrites a row not yet moved.
    auto move = [&](int32_t y) {
        std::memmove(px + size_t(y) * newStride, px + size_t(y) * oldStride, keepBytes);
        std::memset(px + size_t(y) * newStride + keepBytes, 0xFF, newStride - keepBytes);
    };
    if (newStride <= oldStride) {
        for (int32_t y = 0; y < keepRows; ++y) move(y);
    } else {
        for (int32_t y = keepRows - 1; y >= 0; --y) move(y);
    }
    if (bytes > size_t(keepRows) * newStride)
        std::memset(px + size_t(keepRows) * newStride, 0xFF, bytes - size_t(keepRows) * newStride);
    bitmap_.pixels.resize(bytes);
    bitmap_.width = bitmapWidth_;
    bitmap_.height = bitmapHeight_;
    dirtyRows_ = std::move(dirty);
}

const PageBitmap& TvpjRenderer::Bitmap() {
    EnsureBitmap();
    return bitmap_;
}

void TvpjRenderer::PutPixels(const uint8_t* rgb, int64_t count) {
    int64_t col0 = runColumn_;
    runColumn_ += count;
    if (runRow_ < 0 || runRow_ >= bitmapHeight_) return;
    int64_t first = std::max<int64_t>(col0, 0);
    int64_t last = std::min<int64_t>(col0 + count, bitmapWidth_);
    if (first >= last) return;
    EnsureBitmap();
    dirtyRows_[size_t(runRow_)] = 1;
    uint8_t* dst = bitmap_.ScanLine(int32_t(runRow_)) + first * 3;
    const uint8_t* src = rgb + (first - col0) * 3;
    // Stream order is red, green, blue; the scan line holds blue, green, red.
    for (int64_t n = last - first; n > 0; --n, dst += 3, src += 3) {
        dst[0] = src[2];
        dst[1] = src[1];
        dst[2] = src[0];
    }
}

void TvpjRenderer::TakePixelByte(uint8_t b) {
    if (pixelByteCount_ < 0 || pixelByteCount_ > 2) pixelByteCount_ = 0;
    pixelBytes_[pixelByteCount_++] = b;
    if (pixelByteCount_ == 3) {
        PutPixels(pixelBytes_, 1);
        pixelByteCount_ = 0;
    }
}

void TvpjRenderer::NewPage() {
    ++pageNumber_;
    UpdatePageSize();
    EnsureBitmap();
    // Only rows painted since the last clearing need whitening again.
    for (int32_t row = 0; row < bitmap_.height; ++row) {
        if (!dirtyRows_[size_t(row)]) continue;
        std::memset(bitmap_.ScanLine(row), 0xFF, bitmap_.Stride());
        dirtyRows_[size_t(row)] = 0;
    }
    pageOpen_ = true;
    SendNotice(orb::pnPageBegun, pageNumber_, exportFolder_, pageNumber_);
}

void TvpjRenderer::EndPage() {
    if (!pageOpen_) return;
    pageOpen_ = false;
    EnsureBitmap();
    for (int32_t row = std::max(0, bitmap_.height - 15); row < bitmap_.height; ++row) dirtyRows_[size_t(row)] = 1;
    footer_.Draw(bitmap_, 2, bitmap_.height - 15, kFooterText);
    ++fileCounter_;
    std::string fileName = exportFolder_ + filePrefix_ + std::to_string(fileCounter_) + ".jpg";
    // The client finds the page only by the path in the notice: one that would be cut is useless.
    if (fileName.size() > orb::kPrintNoticeTextCapacity) {
        OutputDebugStringA("page path too long for the notice; page not saved");
        SendNotice(orb::pnRenderError, pageNumber_, exportFolder_, 0);
        return;
    }
    if (SavePageAsJpeg(fileName)) {
        SendNotice(orb::pnPageSaved, pageNumber_, fileName, pageNumber_);
    } else {
        OutputDebugStringA(("page file not written: " + fileName).c_str());
        SendNotice(orb::pnRenderError, pageNumber_, exportFolder_, 0);
    }
}

bool TvpjRenderer::SavePageAsJpeg(const std::string& fileName) {
    try {
        return pageSaver_ && pageSaver_(bitmap_, QualityOf(qualityIndex_), fileName);
    } catch (...) {
        return false;
    }
}

void TvpjRenderer::SendNotice(int32_t kind, int32_t page, const std::string& path, int32_t pageValue) {
    try {
        if (noticeSink_) noticeSink_(orb::BuildPrintNotice(jobId_, "", page, path, pageValue, kind), noticeHost_,
                                     noticePort_);
    } catch (...) {
        OutputDebugStringA("print notice failed");
    }
}

bool SaveJpegFile(const PageBitmap& bmp, int quality, const std::string& path) { return SaveJpeg(bmp, quality, path); }

}  // namespace pagorix
