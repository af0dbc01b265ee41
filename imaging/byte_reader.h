// Reading the bytes of a file: little-endian fields, and fast sequential
// byte reads for the run-length decoders.
//
// The run-length formats are read one byte at a time; going through the
// stream for each byte costs a call and several checks. PxByteReader pulls
// blocks from the stream and hands out bytes inline. Like the stream, it
// delivers zero bytes once the data is used up, so the decoders keep their
// loops bounded by the picture alone.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "file_stream.h"

namespace brelvix {

// The unsigned 16- and 32-bit little-endian values stored at `p` (the byte
// order of every field in BMP, TGA and PCX files, and of libtiff's packed
// pixels). Byte by byte, so any address and any host byte order will do;
// compilers turn each into a single load where the host allows it.
inline std::uint32_t PxLe16(const std::uint8_t* p)
{
    return p[0] | (std::uint32_t{p[1]} << 8);
}

inline std::uint32_t PxLe32(const std::uint8_t* p)
{
    return p[0] | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[3]} << 24);
}

class PxByteReader {
public:
    // Reads from the stream's current position, at most `limit` bytes; past
    // that (or past the end of the file) every byte is zero.
    explicit PxByteReader(PxFileStream& source, std::uint64_t limit = UINT64_MAX) : stream(source), left(limit) {}
    PxByteReader(const PxByteReader&) = delete;
    PxByteReader& operator=(const PxByteReader&) = delete;

    std::uint8_t Next()
    {
        if (position == length && !Refill()) {
            return 0;
        }
        return buffer[position++];
    }

    // Copies the next n bytes to `destination`; zero bytes past the data.
    void Take(std::uint8_t* destination, std::size_t n)
    {
        while (n > 0) {
            if (position == length && !Refill()) {
                std::memset(destination, 0, n);
                return;
            }
            std::size_t count = length - position;
            if (count > n) {
                count = n;
            }
            std::memcpy(destination, buffer + position, count);
            position += count;
            destination += count;
            n -= count;
        }
    }

    // Consumes n bytes without looking at them.
    void Drop(std::uint64_t n)
    {
        while (n > 0) {
            if (position == length && !Refill()) {
                return;
            }
            const std::uint64_t count = n < length - position ? n : length - position;
            position += static_cast<std::size_t>(count);
            n -= count;
        }
    }

    // The bytes available without another read, at least one while data is
    // left; 0 once the data is used up. Consume what was used with Advance.
    const std::uint8_t* Peek(std::size_t* available)
    {
        if (position == length && !Refill()) {
            *available = 0;
            return buffer;
        }
        *available = length - position;
        return buffer + position;
    }
    // Consumes n bytes of what Peek offered.
    void Advance(std::size_t n) { position += n; }

    // True when every further byte will be zero: the data is used up.
    bool AtEnd() { return position == length && !Refill(); }

private:
    // Loads the next block; false when no data is left. A failing read is
    // an error of the file, not its end: it throws like the stream's own
    // byte reads, and the load fails.
    bool Refill()
    {
        position = 0;
        length = 0;
        const std::uint64_t want = left < sizeof buffer ? left : sizeof buffer;
        if (want == 0 || stream.Remaining() == 0) {
            left = 0;
            return false;
        }
        std::uint64_t delivered = 0;
        if (stream.Read(buffer, want, &delivered) != 0) {
            throw PxStreamError("read error");
        }
        left -= want;
        length = static_cast<std::size_t>(delivered);
        return length > 0;
    }

    PxFileStream& stream;
    std::uint64_t left;
    std::size_t position = 0;
    std::size_t length = 0;
    std::uint8_t buffer[16384];
};

}  // namespace brelvix
