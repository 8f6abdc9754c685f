#pragma once
// The sample blocks a capture or playback component has queued on its device, by serial number:
// the device's notice names its block by serial (the header's user field), so a notice that arrives
// after the block was freed finds nothing. Not locked: the owner guards it.

#include <algorithm>
#include <cstdint>
#include <map>
#include <memory>
#include <utility>
#include <vector>

#include "audio/wave_io.h"

namespace orb::audio {

struct WaveBlock {
    WaveHeader header;
    std::vector<uint8_t> data;
};

class WaveBlocks {
public:
    using Map = std::map<uintptr_t, std::unique_ptr<WaveBlock>>;

    // A new block of `size` bytes, a copy of `from` or zeros, under the next serial.
    WaveBlock& Add(const uint8_t* from, uint32_t size) {
        auto b = std::make_unique<WaveBlock>();
        if (from)
            b->data.assign(from, from + size);
        else
            b->data.assign(size, 0);
        b->header.data = b->data.data();
        b->header.bufferLength = size;
        b->header.user = nextSerial_++;
        WaveBlock& ref = *b;
        blocks_[ref.header.user] = std::move(b);
        return ref;
    }
    WaveBlock* Find(uintptr_t serial) {
        auto it = blocks_.find(serial);
        return it == blocks_.end() ? nullptr : it->second.get();
    }
    std::unique_ptr<WaveBlock> Take(uintptr_t serial) {
        auto node = blocks_.extract(serial);
        return node ? std::move(node.mapped()) : nullptr;
    }
    void Erase(uintptr_t serial) { blocks_.erase(serial); }
    // Every block; the list is empty after.
    Map TakeAll() { return std::exchange(blocks_, {}); }
    size_t Size() const { return blocks_.size(); }

private:
    Map blocks_;
    uintptr_t nextSerial_ = 1;
};

}  // namespace orb::audio
