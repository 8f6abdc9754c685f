#include "jpeg_page.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cerrno>

#include <jpeglib.h>

namespace pagorix {

namespace {

struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};

void OnError(j_common_ptr cinfo) {
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    std::longjmp(err->jump, 1);
}

void OnMessage(j_common_ptr) {}

// Kept free of C++ objects with destructors: libjpeg reports errors by longjmp.
bool Compress(const PageBitmap& bmp, int quality, unsigned char** mem, unsigned long* size) {
    jpeg_compress_struct cinfo;
    ErrorManager err;
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = OnError;
    err.pub.output_message = OnMessage;
    if (setjmp(err.jump)) {
        jpeg_destroy_compress(&cinfo);
        return false;
    }
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, mem, size);
    cinfo.image_width = JDIMENSION(bmp.width);
    cinfo.image_height = JDIMENSION(bmp.height);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_EXT_BGR;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(bmp.ScanLine(int32_t(cinfo.next_scanline)));
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return true;
}

}  // namespace

namespace {
bool Fits(const PageBitmap& bmp) {
    return !bmp.Empty() && bmp.width <= JPEG_MAX_DIMENSION && bmp.height <= JPEG_MAX_DIMENSION &&
           bmp.pixels.size() >= bmp.Stride() * size_t(bmp.height);
}
}  // namespace

bool SaveJpeg(const PageBitmap& bmp, int quality, const std::string& path) {
    if (!Fits(bmp)) return false;
    unsigned char* mem = nullptr;
    unsigned long size = 0;
    bool ok = Compress(bmp, quality, &mem, &size) && mem && WriteFileNoFollow(path, mem, size);
    std::free(mem);
    return ok;
}

bool WriteFileNoFollow(const std::string& path, const uint8_t* bytes, size_t size) {
    // O_NONBLOCK keeps a planted FIFO from hanging the spooler; only regular files are written.
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0644);
    if (fd < 0) return false;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || ftruncate(fd, 0) != 0) {
        close(fd);
        return false;
    }
    size_t off = 0;
    while (off < size) {
        ssize_t n = write(fd, bytes + off, size - off);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        off += size_t(n);
    }
    bool ok = off == size;
    if (close(fd) != 0) ok = false;
    if (!ok) unlink(path.c_str());
    return ok;
}

}  // namespace pagorix
