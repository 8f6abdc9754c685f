#include "wire/bytes.h"

#include <algorithm>
#include <bit>

namespace orb {

static_assert(std::endian::native == std::endian::little || std::endian::native == std::endian::big);

bool ByteReader::take(size_t count) {
    if (!ok_ || count > n_ - pos_) {
        ok_ = false;
        return false;
    }
    return true;
}

bool ByteReader::seek(size_t offset) {
    if (!ok_ || offset > n_) {
        ok_ = false;
        return false;
    }
    pos_ = offset;
    return true;
}

bool ByteReader::skip(size_t count) {
    if (!take(count)) return false;
    pos_ += count;
    return true;
}

bool ByteReader::bytes(void* out, size_t count) {
    if (!take(count)) return false;
    if (count) std::memcpy(out, p_ + pos_, count);
    pos_ += count;
    return true;
}

std::span<const uint8_t> ByteReader::view(size_t count) {
    if (!take(count)) return {};
    std::span<const uint8_t> s(p_ + pos_, count);
    pos_ += count;
    return s;
}

bool ByteReader::u16(uint16_t& v) {
    if (!take(2)) return false;
    v = LoadU16(p_ + pos_);
    pos_ += 2;
    return true;
}

bool ByteReader::i16(int16_t& v) {
    uint16_t u;
    if (!u16(u)) return false;
    v = static_cast<int16_t>(u);
    return true;
}

bool ByteReader::u32(uint32_t& v) {
    if (!take(4)) return false;
    v = LoadU32(p_ + pos_);
    pos_ += 4;
    return true;
}

bool ByteReader::i32(int32_t& v) {
    uint32_t u;
    if (!u32(u)) return false;
    v = static_cast<int32_t>(u);
    return true;
}

bool ByteReader::i64(int64_t& v) {
    if (!take(8)) return false;
    uint64_t u = uint64_t(LoadU32(p_ + pos_)) | (uint64_t(LoadU32(p_ + pos_ + 4)) << 32);
    v = static_cast<int64_t>(u);
    pos_ += 8;
    return true;
}

bool ByteReader::f64(double& v) {
    int64_t bits;
    if (!i64(bits)) return false;
    v = std::bit_cast<double>(bits);
    return true;
}

bool ByteReader::shortString(size_t capacity, std::string& out) {
    if (!take(capacity + 1)) return false;
    size_t len = std::min<size_t>(p_[pos_], capacity);
    out.assign(reinterpret_cast<const char*>(p_ + pos_ + 1), len);
    pos_ += capacity + 1;
    return true;
}

void ByteWriter::bytes(const void* data, size_t count) {
    if (!count) return;
    auto& b = buffer();
    const auto* p = static_cast<const uint8_t*>(data);
    b.insert(b.end(), p, p + count);
}

void ByteWriter::zeros(size_t count) { buffer().resize(buffer().size() + count, 0); }

void ByteWriter::u16(uint16_t v) {
    uint8_t b[2];
    StoreU16(b, v);
    bytes(b, 2);
}

void ByteWriter::u32(uint32_t v) {
    uint8_t b[4];
    StoreU32(b, v);
    bytes(b, 4);
}

void ByteWriter::i64(int64_t v) {
    auto u = static_cast<uint64_t>(v);
    u32(uint32_t(u));
    u32(uint32_t(u >> 32));
}

void ByteWriter::f64(double v) { i64(std::bit_cast<int64_t>(v)); }

void ByteWriter::shortString(size_t capacity, std::string_view raw) {
    size_t cap = std::min<size_t>(capacity, 255);
    size_t len = std::min(raw.size(), cap);
    u8(static_cast<uint8_t>(len));
    bytes(raw.data(), len);
    zeros(capacity - len);
}

}  // namespace orb
