// A valid JPEG that takes long to decode: progressive, with every
// coefficient refined in scans of its own, so that each of its hundreds of
// scans is a pass over the whole picture. Decoding it keeps a thread busy
// for seconds, long enough to cancel it, leave it or close over it.
#pragma once

#include <cstdint>
#include <vector>

namespace brelvix {

// A grey width x height picture in 64 x `steps` scans (steps 1 to 11).
std::vector<std::uint8_t> SlowJpeg(int width, int height, int steps);

}  // namespace brelvix
