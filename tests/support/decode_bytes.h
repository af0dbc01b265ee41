// Loads a picture built in memory through the real loading path.
#pragma once

#include <cstdint>
#include <vector>

#include "imaging/bitmap.h"

namespace brelvix {

// Writes `bytes` to a temporary file and returns bitmap->CreateFromFile on it.
int DecodeBytes(const std::vector<std::uint8_t>& bytes, PxBitmap* bitmap);

}  // namespace brelvix
