#include "printnotice/print_notice.h"

#include "wire/bytes.h"
#include "wire/text.h"

namespace orb {

TPrintNotice BuildPrintNotice(int32_t jobId, const std::string& first, int32_t pageNumber,
                              const std::string& path, int32_t pageValue, int32_t kind) {
    TPrintNotice n;
    n.jobId = jobId;
    n.first = CutUtf8(first, kPrintNoticeTextCapacity);
    n.pageNumber = pageNumber;
    n.path = CutUtf8(path, kPrintNoticeTextCapacity);
    n.pageValue = pageValue;
    n.kind = kind;
    return n;
}

std::vector<uint8_t> EncodePrintNotice(const TPrintNotice& notice) {
    std::vector<uint8_t> out;
    out.reserve(kPrintNoticeSize);
    ByteWriter w(out);
    w.i32(notice.jobId);
    w.shortString(kPrintNoticeTextCapacity, CutUtf8(notice.first, kPrintNoticeTextCapacity));
    w.i32(notice.pageNumber);
    w.shortString(kPrintNoticeTextCapacity, CutUtf8(notice.path, kPrintNoticeTextCapacity));
    w.i32(notice.pageValue);
    w.i32(notice.kind);
    return out;
}

bool DecodePrintNotice(std::span<const uint8_t> datagram, TPrintNotice& out) {
    if (datagram.size() < kPrintNoticeSize) return false;
    ByteReader r(datagram.data(), kPrintNoticeSize);
    TPrintNotice n;
    r.i32(n.jobId);
    r.shortString(kPrintNoticeTextCapacity, n.first);
    r.i32(n.pageNumber);
    r.shortString(kPrintNoticeTextCapacity, n.path);
    r.i32(n.pageValue);
    r.i32(n.kind);
    if (!r.ok()) return false;
    out = std::move(n);
    return true;
}

}  // namespace orb
