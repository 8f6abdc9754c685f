#pragma once
// JPEG pages through libjpeg-turbo.

#include <cstdint>
#include <string>
#include <vector>

#include "page_bitmap.h"

namespace pagorix {

// Compresses the bitmap at the given quality (1..100) and writes the JPEG file (see
// WriteFileNoFollow). False on any library or file error.
bool SaveJpeg(const PageBitmap& bmp, int quality, const std::string& path);

// Writes the bytes to a new or truncated file without following a symbolic link at the last
// component. False when the file cannot be written whole (a partial file is removed).
bool WriteFileNoFollow(const std::string& path, const uint8_t* bytes, size_t size);

}  // namespace pagorix
