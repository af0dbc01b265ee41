// Sequential read-only access to one picture file.
//
// Reads past the end of the file are not errors: block and integer reads
// deliver zero bytes there, and buffer reads deliver fewer bytes. Decoders
// rely on this and bound every loop by the picture's size, never by the data.
#pragma once

#include <cstddef>
#include <cstdint>

#include "bitmap.h"
#include "load_error.h"

namespace brelvix {

// Raised by ReadByte, ReadWord and ReadDword when the underlying read fails
// (no file open, no memory, an operating-system read error). Only
// PxBitmap::CreateFromFile catches it; the file is then unreadable.
class PxStreamError : public PxLoadFailure {
public:
    explicit PxStreamError(const char* what) : PxLoadFailure(PxLoadError::Unreadable, what) {}
};

class PxFileStream : public PxObject {
public:
    PxFileStream();
    ~PxFileStream() override;
    PxFileStream(const PxFileStream&) = delete;
    PxFileStream& operator=(const PxFileStream&) = delete;

    // Closes a file already open, then opens `path` for reading. Returns 0,
    // or the operating system's (non-zero) error code; the stream is then closed.
    // Only regular files open (after symbolic links): a folder gives EISDIR,
    // a pipe, socket or device EINVAL, at once.
    int Open(const char* path);
    void Close();
    bool IsOpen() const { return file >= 0; }

    // Moves back to offset 0.
    void SeekToStart();

    // Reads up to n bytes into a fresh block owned by the stream; bytes past
    // the end of the file are zero. The block stays valid until the next
    // ReadBlock, Skip, ReadByte, ReadWord, ReadDword or DetectFormat. Returns
    // null when no file is open, the block cannot be allocated (blocks larger
    // than kPxMaxStoreBytes never can) or the read fails.
    const std::uint8_t* ReadBlock(std::uint64_t n);

    // Consumes n bytes; what follows is read from n bytes further on (zero
    // bytes once past the end). Costs nothing for any n: no block is made.
    // Returns null when no file is open, else a pointer to an empty block.
    const std::uint8_t* Skip(std::uint64_t n);

    // Reads up to n bytes into `buffer`. Returns 1 when no file is open,
    // `buffer` is null or n is 0, else 0. At the end of the file fewer bytes
    // arrive and the rest of `buffer` keeps what it held; `delivered` (when
    // given) receives the number of bytes that arrived.
    int Read(void* buffer, std::uint64_t n, std::uint64_t* delivered = nullptr);

    // Little-endian integer reads; zero bytes past the end. They throw
    // PxStreamError when no file is open or the read fails.
    std::uint8_t ReadByte();
    std::int32_t ReadWord();    // unsigned 16-bit value, 0 to 65535
    std::uint32_t ReadDword();

    // File size in bytes, taken at Open.
    std::uint64_t Size() const { return size; }
    // Current logical position (may lie beyond the end after Skip).
    std::uint64_t Position() const { return position; }
    // Bytes between the position and the end of the file.
    std::uint64_t Remaining() const { return position < size ? size - position : 0; }

    // Reads the first 20 bytes and returns the format id they show
    // (0 when no rule matches or nothing can be read).
    int DetectFormat();

    // True once the operating system has refused a read of the open file
    // (not for the end of the file, nor for memory that could not be had).
    // Decoders pass over failed reads; the loader asks this to tell a disk
    // that fails from a file that is damaged.
    bool ReadFailed() const { return readFailed; }

private:
    // Copies up to n bytes from the current position, through the read-ahead
    // buffer; returns the count delivered or -1 on a read error.
    std::int64_t Fetch(std::uint8_t* destination, std::uint64_t n);
    bool FillBuffer();
    // The next n (at most 8) bytes for an integer read, zero past the end;
    // throws PxStreamError when no file is open or the read fails.
    const std::uint8_t* FetchSmall(std::uint64_t n);

    int file = -1;
    std::uint64_t size = 0;
    std::uint64_t position = 0;  // logical read position
    bool readFailed = false;
    PxBuffer<std::uint8_t> block;

    // Read-ahead buffer covering file offsets [bufferStart, bufferStart + bufferLength).
    PxBuffer<std::uint8_t> buffer;
    std::uint64_t bufferStart = 0;
    std::uint64_t bufferLength = 0;
    std::uint8_t small[8] = {};  // backs the integer reads without an allocation
};

}  // namespace brelvix
