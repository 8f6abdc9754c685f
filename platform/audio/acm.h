#pragma once
// Codec registry in place of the audio compression manager: installed drivers describe the formats
// they offer, and open streams that convert whole blocks between PCM and their format.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "audio/mm_result.h"
#include "audio/wave_format.h"

namespace orb::audio {

// Conversion flags.
constexpr uint32_t kAcmConvertBlockAlign = 0x4;  // convert whole source blocks only
constexpr uint32_t kAcmConvertStart = 0x10;      // first piece of a conversion
constexpr uint32_t kAcmConvertEnd = 0x20;        // last piece of a conversion

// Stream open flags.
constexpr uint32_t kAcmStreamOpenNonRealTime = 0x4;

class AcmStream {
public:
    virtual ~AcmStream() = default;
    // Destination bytes needed for srcBytes of source (whole source blocks only).
    virtual MmResult SizeBySource(size_t srcBytes, size_t& dstBytes) const = 0;
    // Converts whole source blocks; reports how much was used and produced. Codec state carries on
    // from one call to the next, since the pieces handed in are consecutive parts of one stream.
    virtual MmResult Convert(const uint8_t* src, size_t srcLen, size_t& srcUsed, uint8_t* dst, size_t dstLen,
                             size_t& dstUsed, uint32_t flags) = 0;
};

class AcmDriver {
public:
    virtual ~AcmDriver() = default;
    virtual std::string ShortName() const = 0;
    virtual std::vector<uint16_t> FormatTags() const = 0;
    // Standard formats of one tag, by index.
    virtual size_t FormatCount(uint16_t tag) const = 0;
    virtual bool FormatDetails(uint16_t tag, size_t index, WaveFormat& out) const = 0;
    // Largest record (head and extra bytes) of any format this driver offers.
    virtual size_t MaxFormatSize() const = 0;
    // kAcmErrNotPossible when this driver does not convert between the two formats.
    virtual MmResult OpenStream(const WaveFormat& src, const WaveFormat& dst, std::unique_ptr<AcmStream>& out) = 0;
};

std::shared_ptr<AcmDriver> MakePcmDriver();
std::shared_ptr<AcmDriver> MakeGsmDriver();
std::shared_ptr<AcmDriver> MakeSpeexDriver();

// The installed drivers, in enumeration order (by default PCM, GSM 6.10, Speex).
std::vector<std::shared_ptr<AcmDriver>> AcmDrivers();
// Replaces the installed set (a machine without some codec); AcmResetDrivers restores the default.
void AcmSetDrivers(std::vector<std::shared_ptr<AcmDriver>> drivers);
void AcmResetDrivers();

// Size of the largest format record any installed driver offers; 0 when none is installed.
size_t AcmMaxFormatSize();

// Opens a conversion stream through the first installed driver that offers it.
MmResult AcmStreamOpen(const WaveFormat& src, const WaveFormat& dst, uint32_t flags, std::unique_ptr<AcmStream>& out);

}  // namespace orb::audio
