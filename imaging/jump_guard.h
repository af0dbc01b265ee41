// Calling C codec libraries that report a fatal error with longjmp.
//
// libpng and libjpeg leave a failing call by jumping to a target set with
// setjmp. PxGuarded sets that target, runs a stretch of library calls and
// says whether they ran to their end; the decoder then goes on (or gives
// up) on an ordinary code path. The same pattern serves every decoder and
// the test fixtures, and any later library that reports errors this way.
#pragma once

#include <csetjmp>
#include <cstdlib>
#include <utility>

namespace brelvix {

// Runs `step` with `target` as the place a fatal library error jumps to.
// Returns true when `step` ran to its end, false when the library jumped.
//
// Contract for `step`: the jump leaves its frames without unwinding them,
// so it must not create objects with destructors, and whatever it changes
// that is read after a failure must live outside it (captured by
// reference). Allocate buffers and owned handles before the call and let
// their scope release them. Library calls outside a guarded step must be
// ones that cannot fail fatally (creation with an error pointer, release).
//
// Used with the target a library keeps itself:
//     PxGuarded(png_jmpbuf(png), [&] { png_read_info(png, info); })
template <typename Step>
[[gnu::noinline]] bool PxGuarded(std::jmp_buf& target, Step&& step)
{
    if (setjmp(target) != 0) {
        return false;
    }
    step();
    return true;
}

// A jump target of our own, for a library whose fatal-error exit we install
// (libjpeg's error_exit): the exit calls PxJumpOut, which leaves through the
// guarded call in progress.
struct PxJumpTarget {
    std::jmp_buf buffer;
    bool armed = false;  // a guarded call is in progress
};

// Leaves the library through `target`. Without a guarded call in progress
// there is nowhere safe to go: returning into the library after a fatal
// error is not an option either, so the process ends.
[[noreturn]] inline void PxJumpOut(PxJumpTarget& target)
{
    if (!target.armed) {
        std::abort();
    }
    std::longjmp(target.buffer, 1);
}

// PxGuarded on a target of our own; arms it for the call.
template <typename Step>
bool PxGuarded(PxJumpTarget& target, Step&& step)
{
    target.armed = true;
    const bool done = PxGuarded(target.buffer, std::forward<Step>(step));
    target.armed = false;
    return done;
}

}  // namespace brelvix
