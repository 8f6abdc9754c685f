#pragma once
// What the corpus writers share: the folder layout (<folder>/<target>/<seed>) and the writer.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace orb::seeds {

using Bytes = std::vector<uint8_t>;

// False when that input could not be written.
bool Write(const std::filesystem::path& folder, const std::string& target, const std::string& name, const Bytes& bytes);

inline void Append(Bytes& to, const Bytes& more) { to.insert(to.end(), more.begin(), more.end()); }

// Voice, video, application sharing and pictures.
bool WriteMediaSeeds(const std::filesystem::path& folder);
// Library lists, the handshake's replies and printer streams.
bool WriteRecordSeeds(const std::filesystem::path& folder);

}  // namespace orb::seeds
