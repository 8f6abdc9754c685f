#include "session/handshake.h"

#include <unistd.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <vector>

#include "protocol/message_kinds.h"
#include "protocol/vcr_header.h"
#include "wire/bytes.h"

namespace orb {

namespace {

bool ReadHeader(IByteChannel& ch, TVCRHeader& h) {
    uint8_t raw[TVCRHeader::kSize];
    return ch.ReadExact(raw, sizeof raw) && TVCRHeader::Decode(raw, h);
}

bool SaneBody(int32_t length) { return length >= 0 && length <= kMaxHandshakeBody; }

// The start-up file lands in the program folder, beside the program and the hook library that is
// loaded from there: it may replace neither code nor one of our folders. Shared libraries,
// programs, and any existing entry that is not a plain file without execute rights are refused.
bool WouldReplaceProgramParts(const std::string& dir, const std::string& name) {
    namespace fs = std::filesystem;
    std::string lower;
    for (char c : name) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const char* ext : {".so", ".exe", ".dll", ".sh"})
        if (lower.ends_with(ext)) return true;
    if (lower.find(".so.") != std::string::npos) return true;
    std::error_code ec;
    fs::file_status st = fs::symlink_status(dir + name, ec);
    if (ec || !fs::exists(st)) return false;
    if (!fs::is_regular_file(st)) return true;
    constexpr auto exec = fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec;
    return (st.permissions() & exec) != fs::perms::none;
}

}  // namespace

bool DiscardBytes(IByteChannel& ch, int64_t count) {
    uint8_t buf[4096];
    while (count > 0) {
        size_t n = static_cast<size_t>(std::min<int64_t>(count, sizeof buf));
        if (!ch.ReadExact(buf, n)) return false;
        count -= static_cast<int64_t>(n);
    }
    return true;
}

bool ReceiveFile(IByteChannel& ch, int64_t count, const std::string& path) {
    namespace fs = std::filesystem;
    std::string tmp = path + ".part";
    std::error_code ec;
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        if (!out) {
            DiscardBytes(ch, count);
            return false;
        }
        std::vector<char> buf(64 * 1024);
        int64_t left = count;
        while (left > 0) {
            size_t n = static_cast<size_t>(std::min<int64_t>(left, static_cast<int64_t>(buf.size())));
            if (!ch.ReadExact(buf.data(), n)) {
                out.close();
                fs::remove(tmp, ec);
                return false;
            }
            out.write(buf.data(), static_cast<std::streamsize>(n));
            left -= static_cast<int64_t>(n);
        }
        out.flush();
        if (!out) {
            out.close();
            fs::remove(tmp, ec);
            return false;
        }
    }
    fs::rename(tmp, path, ec);
    if (ec) {
        fs::remove(tmp, ec);
        return false;
    }
    return true;
}

TVersionCheck CheckClientVersion(IByteChannel& ch) {
    TVersionCheck r;
    auto rec = TVersionInfo{}.Encode();
    TVCRHeader h;
    if (!ch.WriteAll(rec.data(), rec.size()) || !ReadHeader(ch, h)) return r;
    if (h.result == 0) {
        // A plain acknowledgement; whatever body it announces is not used.
        if (!SaneBody(h.bodyLength) || !DiscardBytes(ch, h.bodyLength)) return r;
    }
    r.exchanged = true;
    r.result = h.result;
    return r;
}

bool ReadUpdateOffer(IByteChannel& ch, TVersionInfo& offer) {
    std::array<uint8_t, TVersionInfo::kSize> raw;
    if (!ch.ReadExact(raw.data(), raw.size())) return false;
    offer = TVersionInfo::Decode(raw);
    return true;
}

std::string InstallerPath(const std::string& programDir, uint64_t tickMs, const TVersionInfo& offer) {
    std::string dir = programDir;
    if (!dir.empty() && dir.back() != '/') dir += '/';
    return dir + "Versions/" + std::to_string(tickMs) + "OrbeloBrowserSetup" + offer.SafeVersionForFileName() +
           ".exe";
}

TDownloadResult ReceiveInstaller(IByteChannel& ch, const std::string& path) {
    uint8_t raw[4];
    if (!ch.ReadExact(raw, 4)) return TDownloadResult::Failed;
    int64_t size = static_cast<int32_t>(LoadU32(raw));
    if (size == 0) return TDownloadResult::EmptyOffer;
    if (size < 0 || size > kMaxInstallerSize) return TDownloadResult::Failed;
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
    return ReceiveFile(ch, size, path) ? TDownloadResult::Received : TDownloadResult::Failed;
}

TLoginReply LoginUser(IByteChannel& ch, TLoginInfo& info) {
    TLoginReply r;
    TLoginRequest req;
    req.userId = 0;
    req.password = info.Password();
    req.userName = info.UserName();
    auto rec = req.Encode();
    TVCRHeader h;
    if (!ch.WriteAll(rec.data(), rec.size()) || !ReadHeader(ch, h) || !SaneBody(h.bodyLength)) return r;
    if (h.result != 0) {
        if (!DiscardBytes(ch, h.bodyLength)) return r;
        r.exchanged = true;
        r.result = h.result;
        return r;
    }
    if (h.bodyLength < static_cast<int32_t>(TLoginInfo::kSize)) {
        // A success without the account: refuse it rather than read into the next message.
        if (!DiscardBytes(ch, h.bodyLength)) return r;
        r.exchanged = true;
        r.result = 33;
        return r;
    }
    std::array<uint8_t, TLoginInfo::kSize> raw;
    if (!ch.ReadExact(raw.data(), raw.size()) || !DiscardBytes(ch, h.bodyLength - int32_t(TLoginInfo::kSize)))
        return r;
    info.Assign(raw);
    r.exchanged = true;
    r.result = 0;
    return r;
}

TStartupReply RequestStartupInfo(IByteChannel& ch, int32_t ownUserId, const std::string& programDir,
                                 TStartupInfo& info) {
    TStartupReply r;
    TVCRHeader req;
    InitVCRHeader(vkStartupInfo, ownUserId, 0, req);
    uint8_t raw[TVCRHeader::kSize];
    req.Encode(raw);
    TVCRHeader h;
    auto fail = [&](bool broken) {
        info.ClearFlags();
        r.streamBroken = broken;
        return r;
    };
    if (!ch.WriteAll(raw, sizeof raw) || !ReadHeader(ch, h) || !SaneBody(h.bodyLength)) return fail(true);
    if (h.result != 0 || h.bodyLength < static_cast<int32_t>(TStartupInfo::kSize))
        return fail(!DiscardBytes(ch, h.bodyLength));
    std::array<uint8_t, TStartupInfo::kSize> rec;
    if (!ch.ReadExact(rec.data(), rec.size())) return fail(true);
    TStartupInfo got;
    got.Assign(rec);
    int64_t fileSize = got.FileSize();
    int64_t rest = h.bodyLength - static_cast<int64_t>(TStartupInfo::kSize);
    // A file size out of range cannot be skipped either: the stream position is lost.
    if (fileSize < 0 || fileSize > kMaxHandshakeBody) return fail(true);
    // The file follows the record, inside the announced body or right after it.
    if (rest != 0 && rest != fileSize) return fail(!DiscardBytes(ch, rest));
    info = got;
    if (fileSize > 0) {
        std::string name = got.FileName();
        std::string dir = programDir;
        if (!dir.empty() && dir.back() != '/') dir += '/';
        if (!IsSafeBaseName(name) || WouldReplaceProgramParts(dir, name)) {
            r.fileRefused = true;
            if (!DiscardBytes(ch, fileSize)) return fail(true);
        } else {
            std::error_code ec;
            std::filesystem::remove(dir + name, ec);
            r.fileWritten = ReceiveFile(ch, fileSize, dir + name);
            if (!r.fileWritten) return fail(true);
        }
    }
    r.received = true;
    return r;
}

int32_t BandwidthSendLimit(int32_t connectionSpeed) {
    int64_t r = std::llround(static_cast<double>(connectionSpeed) / 5.0);
    return r >= 5120 ? static_cast<int32_t>(r - 3072) : 2048;
}

}  // namespace orb
