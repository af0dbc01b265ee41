// libpng reports errors by jumping to a target set with setjmp; this runs a
// stretch of libpng calls under one.
#pragma once

#include <png.h>

#include <csetjmp>

namespace brelvix {

// Runs `step` with libpng's jump target set. Returns false when libpng raised
// an error. Whatever `step` runs must not own objects with destructors: the
// jump leaves its frames without unwinding.
template <typename Step>
[[gnu::noinline]] bool PxPngGuarded(png_structp png, Step&& step)
{
    if (setjmp(png_jmpbuf(png)) != 0) {
        return false;
    }
    step();
    return true;
}

}  // namespace brelvix
