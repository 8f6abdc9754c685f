#pragma once
// Helpers of the print monitor tests: a printer-stream writer following the stream format, a JPEG
// decoder, a UDP listener on loopback and a temporary folder.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "printnotice/print_notice.h"
#include "spooler/monitor_api.h"

namespace testpm {

// Mutable wide strings for the monitor entries' LPWSTR arguments.
struct W {
    std::u16string s;
    W(const char16_t* t) : s(t) {}
    operator LPWSTR() { return s.data(); }
};

// One-byte commands, 16-bit little-endian parameters, raster runs of R, G, B bytes.
struct Stream {
    std::vector<uint8_t> b;
    Stream& cmd(uint8_t c) {
        b.push_back(c);
        return *this;
    }
    Stream& param(uint8_t c, uint16_t v) {
        b.push_back(c);
        b.push_back(uint8_t(v & 0xFF));
        b.push_back(uint8_t(v >> 8));
        return *this;
    }
    Stream& x(uint16_t v) { return param(0x91, v); }
    Stream& y(uint16_t v) { return param(0x92, v); }
    // A run of raw bytes (any count).
    Stream& run(const std::vector<uint8_t>& bytes) {
        param(0x93, uint16_t(bytes.size()));
        b.insert(b.end(), bytes.begin(), bytes.end());
        return *this;
    }
    // A run of n pixels of one colour.
    Stream& fill(int n, uint8_t r, uint8_t g, uint8_t bl) {
        std::vector<uint8_t> px(size_t(n > 0 ? n : 0) * 3);
        for (size_t i = 0; i + 2 < px.size(); i += 3) {
            px[i] = r;
            px[i + 1] = g;
            px[i + 2] = bl;
        }
        return run(px);
    }
};

struct Rgb {
    std::vector<uint8_t> px;
    int w = 0, h = 0;
    const uint8_t* at(int x, int y) const { return px.data() + (size_t(y) * size_t(w) + size_t(x)) * 3; }
};

inline bool DecodeJpegFile(const std::string& path, Rgb& out) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_decompress(&cinfo);
    jpeg_stdio_src(&cinfo, f);
    jpeg_read_header(&cinfo, TRUE);
    cinfo.out_color_space = JCS_RGB;
    jpeg_start_decompress(&cinfo);
    out.w = int(cinfo.output_width);
    out.h = int(cinfo.output_height);
    out.px.resize(size_t(out.w) * size_t(out.h) * 3);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = out.px.data() + size_t(cinfo.output_scanline) * size_t(out.w) * 3;
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    std::fclose(f);
    return true;
}

// Mean colour of a rectangle.
inline void MeanColour(const Rgb& img, int x0, int y0, int w, int h, double out[3]) {
    double s[3] = {0, 0, 0};
    for (int y = y0; y < y0 + h; ++y)
        for (int x = x0; x < x0 + w; ++x)
            for (int c = 0; c < 3; ++c) s[c] += img.at(x, y)[c];
    for (int c = 0; c < 3; ++c) out[c] = s[c] / (double(w) * h);
}

class UdpListener {
public:
    UdpListener() {
        fd_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = 0;
        bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        socklen_t len = sizeof a;
        getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
    }
    ~UdpListener() { close(fd_); }
    int port() const { return port_; }
    // The next datagram's bytes, or nothing when none arrives within the time-out.
    bool Receive(std::vector<uint8_t>& out, int timeoutMs = 3000) {
        pollfd p{fd_, POLLIN, 0};
        if (poll(&p, 1, timeoutMs) != 1) return false;
        out.resize(65536);
        ssize_t n = recv(fd_, out.data(), out.size(), 0);
        if (n < 0) return false;
        out.resize(size_t(n));
        return true;
    }
    // Every datagram already queued (none is waited for beyond a short grace).
    std::vector<std::vector<uint8_t>> Drain(int graceMs = 200) {
        std::vector<std::vector<uint8_t>> all;
        std::vector<uint8_t> d;
        while (Receive(d, graceMs)) all.push_back(d);
        return all;
    }

private:
    int fd_ = -1;
    int port_ = 0;
};

struct TempDir {
    std::filesystem::path path;
    TempDir() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "pmtest-XXXXXX").string();
        path = mkdtemp(tmpl.data());
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
    // The folder with its trailing delimiter, as export folders are held.
    std::string folder() const { return path.string() + "/"; }
};

}  // namespace testpm
