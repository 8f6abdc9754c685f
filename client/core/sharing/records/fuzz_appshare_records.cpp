// Untrusted bodies of the application-sharing messages through every record reader.
#include <vector>

#include "sharing/records/appshare_records.h"

using namespace orb;
using namespace orb::appshare;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::span<const uint8_t> body(data, size);
    {
        ByteReader r(body);
        TAppShareDescriptor d;
        uint8_t state = 0;
        if (ReadAppShareStart(r, d, state) && (d.sharerName.size() > 200 || d.title.size() > 255)) __builtin_trap();
    }
    {
        TAppShareFrameHeader h;
        std::span<const uint8_t> stream;
        if (ReadAppShareFrame(body, h, stream) && stream.data() + stream.size() > data + size) __builtin_trap();
    }
    {
        std::vector<PaneTile> tiles;
        ReadSharePanes(body, tiles);
        for (const auto& t : tiles)
            if (t.png.data() < data || t.png.data() + t.png.size() > data + size) __builtin_trap();
    }
    {
        TShareCursorHeader c;
        std::span<const uint8_t> png;
        ReadShareCursor(body, c, png);
        ByteReader r(body);
        TPaneShareInfo p;
        ReadPaneShareInfo(r, p);
    }
    return 0;
}
