// A valid JPEG slow to decode: progressive, every coefficient refined in
// scans of its own, each scan a pass over the whole picture.
#pragma once

#include <cstdint>
#include <vector>

namespace brelvix {

// A grey width x height picture in 64 x `steps` scans (steps 1 to 11).
std::vector<std::uint8_t> SlowJpeg(int width, int height, int steps);

}  // namespace brelvix
