// The recording reader over arbitrary files: every length and offset comes from the input.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "playback/recording_reader.h"
#include "playback/session_info.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = [] {
        char name[] = "/tmp/fuzz_recordingXXXXXX";
        int fd = mkstemp(name);
        if (fd >= 0) close(fd);
        return std::string(name);
    }();
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return 0;
    if (size) std::fwrite(data, 1, size, f);
    std::fclose(f);
    const bool hasHead = size > 0 && (data[0] & 1);
    orb::playback::TSessionInfoRec info;
    int32_t total = 0;
    if (size >= 740 && info.Decode(std::span<const uint8_t>(data, 740))) total = info.TotalSize();
    for (bool complete : {false, true}) {
        orb::playback::TRecordingReader reader;
        if (!reader.Open(path, hasHead)) return 0;
        reader.SetEndBound(orb::playback::ReplayEndBound(total, hasHead, complete, reader.FileSize()));
        (void)reader.ReadCodecIndex(int64_t(size));
        TVCRHeader h;
        std::vector<uint8_t> message;
        for (int i = 0; i < 100000; ++i)
            if (reader.ReadNextRecord(int64_t(size), complete, h, message) != orb::playback::TNextResult::Message) break;
    }
    return 0;
}
