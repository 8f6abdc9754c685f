#include "audio/acm_errors.h"

namespace orb::media {

namespace {

const char* KnownText(audio::MmResult code) {
    switch (code) {
    case 2: return " The specified resource does not exist.";
    case 4: return " The specified resource is already in use.";
    case 5: return " The specified handle is invalid.";
    case 6: return " A suitable driver is not available to provide valid format selections.";
    case 7: return " The system is unable to allocate resources.";
    case 10: return " At least one flag is invalid.";
    case 11: return " At least one parameter is invalid.";
    case 32: return " Unsupported audio format.";
    case 35: return " The specified device does not support asynchronous operation.";
    case 512: return " The requested operation cannot be performed.";
    case 513: return " The conversion stream is already in use.";
    case 514: return " Cannot perform this action on a header that has not been prepared.";
    default: return nullptr;
    }
}

template <typename Formatted>
[[noreturn]] void Raise(audio::MmResult code, const char* operation) {
    std::string message = WaveErrorMessage(operation, code);
    if (code == audio::kWaveErrBadFormat) throw Formatted(message);
    throw std::runtime_error(message);
}

}  // namespace

std::string WaveErrorMessage(const std::string& operation, audio::MmResult code) {
    if (const char* text = KnownText(code)) return operation + text;
    return operation + " raised an unknown error (code #" + std::to_string(code) + ")";
}

void CheckWaveIn(audio::MmResult code, const char* operation) {
    if (code != audio::kMmNoError) Raise<EACMIn>(code, operation);
}

void CheckWaveOut(audio::MmResult code, const char* operation) {
    if (code != audio::kMmNoError) Raise<EACMOut>(code, operation);
}

}  // namespace orb::media
