#include "bitmap.h"

int PxBitmap::Rotate(std::int32_t /*code*/, PxBitmap* /*destination*/) const
{
    return 1;
}

int PxBitmap::Flip(bool /*vertical*/, PxBitmap* /*destination*/) const
{
    return 1;
}
