#pragma once
// Bounds-checked little-endian reader and writer for packed records.
//
// Every decoder of bytes that come from outside (network, recordings, datagrams, printer streams)
// reads through ByteReader: a read past the end fails, leaves the output untouched and puts the
// reader in a failed state, so a record that does not fit its body is dropped cleanly.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace orb {

class ByteReader {
public:
    ByteReader() = default;
    ByteReader(const void* data, size_t size) : p_(static_cast<const uint8_t*>(data)), n_(size) {}
    explicit ByteReader(std::span<const uint8_t> s) : p_(s.data()), n_(s.size()) {}

    bool ok() const { return ok_; }
    size_t pos() const { return pos_; }
    size_t size() const { return n_; }
    size_t remaining() const { return ok_ ? n_ - pos_ : 0; }
    const uint8_t* current() const { return p_ + pos_; }

    // Moves to an absolute offset; fails when it lies past the end.
    bool seek(size_t offset);
    bool skip(size_t count);
    bool bytes(void* out, size_t count);
    // A view of the next count bytes without copying; empty and failed when they are not there.
    std::span<const uint8_t> view(size_t count);

    bool u8(uint8_t& v) { return bytes(&v, 1); }
    bool u16(uint16_t& v);
    bool i16(int16_t& v);
    bool u32(uint32_t& v);
    bool i32(int32_t& v);
    bool i64(int64_t& v);
    bool f64(double& v);

    // sN: one length byte, then a field of `capacity` bytes. A length above the capacity is
    // clamped to it. Returns the raw bytes of the string (no decoding).
    bool shortString(size_t capacity, std::string& out);

    // Marks the reader failed (used by decoders that find a value out of range).
    void fail() { ok_ = false; }

private:
    bool take(size_t count);

    const uint8_t* p_ = nullptr;
    size_t n_ = 0;
    size_t pos_ = 0;
    bool ok_ = true;
};

class ByteWriter {
public:
    ByteWriter() = default;
    explicit ByteWriter(std::vector<uint8_t>& target) : ext_(&target) {}

    std::vector<uint8_t>& buffer() { return ext_ ? *ext_ : own_; }
    const std::vector<uint8_t>& buffer() const { return ext_ ? *ext_ : own_; }
    size_t size() const { return buffer().size(); }

    void bytes(const void* data, size_t count);
    void zeros(size_t count);
    void u8(uint8_t v) { bytes(&v, 1); }
    void u16(uint16_t v);
    void i16(int16_t v) { u16(static_cast<uint16_t>(v)); }
    void u32(uint32_t v);
    void i32(int32_t v) { u32(static_cast<uint32_t>(v)); }
    void i64(int64_t v);
    void f64(double v);
    // sN: writes the length byte and exactly `capacity` bytes; longer text is cut to the capacity
    // (at a byte boundary; callers that hold UTF-8 cut it first with CutUtf8 to keep characters whole).
    void shortString(size_t capacity, std::string_view raw);

private:
    std::vector<uint8_t> own_;
    std::vector<uint8_t>* ext_ = nullptr;
};

// Little-endian loads and stores on raw memory, for fixed-layout structures.
inline uint16_t LoadU16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
inline uint32_t LoadU32(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
inline void StoreU16(uint8_t* p, uint16_t v) { p[0] = uint8_t(v); p[1] = uint8_t(v >> 8); }
inline void StoreU32(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v); p[1] = uint8_t(v >> 8); p[2] = uint8_t(v >> 16); p[3] = uint8_t(v >> 24);
}

}  // namespace orb
