#include "util/images.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>

#include <jpeglib.h>
#include <png.h>

namespace orb {

namespace {

bool SizeAllowed(int64_t w, int64_t h) {
    return w > 0 && h > 0 && w <= kMaxPictureSide && h <= kMaxPictureSide && w * h <= kMaxPicturePixels;
}

struct JpegError {
    jpeg_error_mgr mgr;
    std::jmp_buf jump;
};

[[noreturn]] void OnJpegError(j_common_ptr cinfo) {
    auto* err = reinterpret_cast<JpegError*>(cinfo->err);
    std::longjmp(err->jump, 1);
}

void IgnoreJpegMessage(j_common_ptr) {}

// Kept apart from the objects with destructors, since longjmp skips them.
bool DecodeJpeg(const uint8_t* data, size_t size, Bitmap& out) {
    jpeg_decompress_struct cinfo {};
    JpegError err {};
    cinfo.err = jpeg_std_error(&err.mgr);
    err.mgr.error_exit = OnJpegError;
    err.mgr.output_message = IgnoreJpegMessage;
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(size));
    if (jpeg_read_header(&cinfo, TRUE) != JPEG_HEADER_OK || !SizeAllowed(cinfo.image_width, cinfo.image_height) ||
        (cinfo.jpeg_color_space != JCS_GRAYSCALE && cinfo.jpeg_color_space != JCS_YCbCr &&
         cinfo.jpeg_color_space != JCS_RGB)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    cinfo.out_color_space = JCS_RGB;
    jpeg_start_decompress(&cinfo);
    out.width = static_cast<int>(cinfo.output_width);
    out.height = static_cast<int>(cinfo.output_height);
    out.rgb.resize(static_cast<size_t>(out.width) * static_cast<size_t>(out.height) * 3);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = out.rgb.data() + static_cast<size_t>(cinfo.output_scanline) * static_cast<size_t>(out.width) * 3;
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return true;
}

bool EncodeJpeg(const Bitmap& bmp, int quality, unsigned char** buf, unsigned long* len) {
    jpeg_compress_struct cinfo {};
    JpegError err {};
    cinfo.err = jpeg_std_error(&err.mgr);
    err.mgr.error_exit = OnJpegError;
    err.mgr.output_message = IgnoreJpegMessage;
    if (setjmp(err.jump)) {
        jpeg_destroy_compress(&cinfo);
        return false;
    }
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, buf, len);
    cinfo.image_width = static_cast<JDIMENSION>(bmp.width);
    cinfo.image_height = static_cast<JDIMENSION>(bmp.height);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<uint8_t*>(bmp.rgb.data()) +
                       static_cast<size_t>(cinfo.next_scanline) * static_cast<size_t>(bmp.width) * 3;
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return true;
}

}  // namespace

bool JpegToBitmap(const uint8_t* jpeg, size_t size, Bitmap& out) {
    out = Bitmap{};
    if (!jpeg || size == 0) return false;
    if (!DecodeJpeg(jpeg, size, out)) {
        out = Bitmap{};
        return false;
    }
    return true;
}

bool PngToBitmap(const uint8_t* png, size_t size, Bitmap& out) {
    out = Bitmap{};
    if (!png || size == 0) return false;
    png_image image {};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, png, size)) return false;
    if (!SizeAllowed(image.width, image.height)) {
        png_image_free(&image);
        return false;
    }
    image.format = PNG_FORMAT_RGB;
    Bitmap bmp;
    bmp.width = static_cast<int>(image.width);
    bmp.height = static_cast<int>(image.height);
    bmp.rgb.resize(static_cast<size_t>(bmp.width) * static_cast<size_t>(bmp.height) * 3);
    png_color white {255, 255, 255};
    if (!png_image_finish_read(&image, &white, bmp.rgb.data(), 0, nullptr)) {
        png_image_free(&image);
        return false;
    }
    out = std::move(bmp);
    return true;
}

bool BitmapToJpeg(const Bitmap& bitmap, int quality, std::vector<uint8_t>& out) {
    out.clear();
    if (!bitmap.Valid() || !SizeAllowed(bitmap.width, bitmap.height)) return false;
    if (quality < 1) quality = 1;
    if (quality > 100) quality = 100;
    unsigned char* buf = nullptr;
    unsigned long len = 0;
    bool ok = EncodeJpeg(bitmap, quality, &buf, &len);
    if (ok && buf) out.assign(buf, buf + len);
    std::free(buf);
    return ok && !out.empty();
}

bool PngToJpeg(const uint8_t* png, size_t size, std::vector<uint8_t>& out) {
    out.clear();
    Bitmap bmp;
    if (!PngToBitmap(png, size, bmp)) return false;
    return BitmapToJpeg(bmp, 100, out);
}

}  // namespace orb
