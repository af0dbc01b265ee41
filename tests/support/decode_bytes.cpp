#include "support/decode_bytes.h"

#include "support/temp_dir.h"

namespace brelvix {

int DecodeBytes(const std::vector<std::uint8_t>& bytes, PxBitmap* bitmap)
{
    TempDir dir;
    return bitmap->CreateFromFile(dir.Write("picture", bytes).c_str());
}

}  // namespace brelvix
