#pragma once
// Exceptions raised when a wave device call fails: the message is the operation's name followed by
// a text chosen by the result code. An unsupported format raises EACMIn or EACMOut.

#include <stdexcept>
#include <string>

#include "audio/mm_result.h"

namespace orb::media {

class EACMIn : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class EACMOut : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

std::string WaveErrorMessage(const std::string& operation, audio::MmResult code);

// Nothing for code 0; otherwise throws.
void CheckWaveIn(audio::MmResult code, const char* operation);
void CheckWaveOut(audio::MmResult code, const char* operation);

}  // namespace orb::media
