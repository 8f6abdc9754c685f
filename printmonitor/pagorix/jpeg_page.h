#pragma once
// JPEG pages through libjpeg-turbo.

#include <cstdint>
#include <string>
#include <vector>

#include "page_bitmap.h"

namespace pagorix {

// Compresses the bitmap at the given quality (1..100). False on any library error.
bool EncodeJpeg(const PageBitmap& bmp, int quality, std::vector<uint8_t>& out);

// Writes the bytes to a new or truncated file without following a symbolic link at the last
// component. False when the file cannot be written whole (a partial file is removed).
bool WriteFileNoFollow(const std::string& path, const std::vector<uint8_t>& bytes);

}  // namespace pagorix
