// Why a picture did not load.
//
// Every failed load ends in exactly one of these reasons, whichever way the
// trouble travelled: a decoder's failed step, an exception from the stream,
// or a codec library leaving through its jump target. The words are the
// command-line tools' interface; the texts are what a user reads.
#pragma once

#include <cstdint>
#include <stdexcept>

namespace brelvix {

enum class PxLoadError {
    None,
    NotFound,     // the path, or a folder in it, does not exist
    Unreadable,   // no permission, a folder or device given as a file, a read error
    NotAPicture,  // the content matches no format
    Unsupported,  // a known format in a variant that is not decoded
    Damaged,      // the file contradicts its own format, or ends before its picture
    TooLarge,     // the picture would pass the store cap
    Cancelled,    // the load was cancelled through its control
    OutOfMemory,  // memory below the cap could not be had
};

// "not-found", "unreadable", ..., "out-of-memory"; "" for None.
const char* PxLoadErrorWord(PxLoadError error);
// "File not found", "Picture is damaged", ...; "" for None.
const char* PxLoadErrorText(PxLoadError error);

// The reason for an operating-system error code from opening a file.
PxLoadError PxOpenError(int code);

// Why a pixel store of width x height (24 bits) cannot be had: non-positive
// sides are a damaged header, beyond kPxMaxStoreBytes is too large, and
// anything else is memory the machine did not give.
PxLoadError PxStoreError(std::int64_t width, std::int64_t height);

// An exception that carries its reason; PxBitmap::CreateFromFile turns it
// into a failed load with that reason.
class PxLoadFailure : public std::runtime_error {
public:
    PxLoadFailure(PxLoadError failure, const char* what) : std::runtime_error(what), reason(failure) {}
    PxLoadError Reason() const { return reason; }

private:
    PxLoadError reason;
};

}  // namespace brelvix
