#pragma once
// Common stream for codecs that turn a fixed number of 16-bit mono samples into a fixed-size block.

#include <cstring>
#include <memory>

#include "audio/acm.h"

namespace orb::audio {

class BlockCodec {
public:
    virtual ~BlockCodec() = default;
    virtual void Encode(const int16_t* pcm, uint8_t* block) = 0;
    // Decodes one block of untrusted bytes; a block the codec cannot read gives silence.
    virtual void Decode(const uint8_t* block, int16_t* pcm) = 0;
};

class BlockCodecStream final : public AcmStream {
public:
    BlockCodecStream(std::unique_ptr<BlockCodec> codec, bool encode, size_t samplesPerBlock, size_t blockAlign)
        : codec_(std::move(codec)), encode_(encode), pcmBlock_(samplesPerBlock * 2), codecBlock_(blockAlign) {}

    MmResult SizeBySource(size_t srcBytes, size_t& dstBytes) const override {
        dstBytes = encode_ ? srcBytes / pcmBlock_ * codecBlock_ : srcBytes / codecBlock_ * pcmBlock_;
        return kMmNoError;
    }

    MmResult Convert(const uint8_t* src, size_t srcLen, size_t& srcUsed, uint8_t* dst, size_t dstLen,
                     size_t& dstUsed, uint32_t) override {
        const size_t in = encode_ ? pcmBlock_ : codecBlock_;
        const size_t out = encode_ ? codecBlock_ : pcmBlock_;
        srcUsed = dstUsed = 0;
        std::vector<int16_t> pcm(pcmBlock_ / 2);
        while (srcLen - srcUsed >= in && dstLen - dstUsed >= out) {
            if (encode_) {
                std::memcpy(pcm.data(), src + srcUsed, pcmBlock_);
                codec_->Encode(pcm.data(), dst + dstUsed);
            } else {
                codec_->Decode(src + srcUsed, pcm.data());
                std::memcpy(dst + dstUsed, pcm.data(), pcmBlock_);
            }
            srcUsed += in;
            dstUsed += out;
        }
        return kMmNoError;
    }

private:
    std::unique_ptr<BlockCodec> codec_;
    bool encode_;
    size_t pcmBlock_;
    size_t codecBlock_;
};

}  // namespace orb::audio
