// Datagrams from anyone on the machine against the print job's notice checks: whole inputs and
// 518-byte slices of them, after the job's own start notice.
#include <cstddef>
#include <cstdint>

#include "print/print_notice_gate.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace orb::print;
    TPrintNoticeGate gate;
    gate.Begin("/tmp/orb-fuzz-gate/", "Slide_");
    orb::TPrintNotice notice;
    std::filesystem::path page;
    const auto start = orb::EncodePrintNotice(orb::BuildPrintNotice(1, "", 0, "/tmp/orb-fuzz-gate/", 0, 2));
    gate.Check(start, notice, page);
    gate.Check(std::span(data, size), notice, page);
    for (size_t at = 0; at + orb::kPrintNoticeSize <= size; at += orb::kPrintNoticeSize)
        gate.Check(std::span(data + at, orb::kPrintNoticeSize), notice, page);
    return 0;
}
