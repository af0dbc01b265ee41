#include "bitmap.h"

int PxBitmap::Scale(std::int32_t /*newWidth*/, std::int32_t /*newHeight*/, PxBitmap* /*destination*/) const
{
    return 1;
}
