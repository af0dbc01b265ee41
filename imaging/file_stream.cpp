#include "file_stream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "byte_reader.h"
#include "format_detect.h"

namespace brelvix {

namespace {

// Read-ahead size. Decoders read a byte or a row at a time; one system call
// per 64 KiB keeps that cheap without changing what they see.
constexpr std::uint64_t kBufferSize = 64 * 1024;

}  // namespace

PxFileStream::PxFileStream() = default;

PxFileStream::~PxFileStream()
{
    Close();
}

int PxFileStream::Open(const char* path)
{
    Close();
    if (path == nullptr) {
        return EINVAL;
    }
    // Without O_NONBLOCK, opening a named pipe waits for a writer that may
    // never come; on a regular file the flag changes nothing.
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return errno != 0 ? errno : EIO;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        const int error = errno != 0 ? errno : EIO;
        ::close(fd);
        return error;
    }
    if (S_ISDIR(info.st_mode)) {
        ::close(fd);
        return EISDIR;
    }
    // Pipes, sockets and devices hold no picture; reading one could wait
    // for ever or never end.
    if (!S_ISREG(info.st_mode)) {
        ::close(fd);
        return EINVAL;
    }
    file = fd;
    size = info.st_size > 0 ? static_cast<std::uint64_t>(info.st_size) : 0;
    position = 0;
    readFailed = false;
    bufferStart = 0;
    bufferLength = 0;
    return 0;
}

void PxFileStream::Close()
{
    if (file >= 0) {
        ::close(file);
    }
    file = -1;
    bufferLength = 0;
}

void PxFileStream::SeekToStart()
{
    if (file >= 0) {
        position = 0;
    }
}

bool PxFileStream::FillBuffer()
{
    if (!buffer) {
        buffer = PxZeroed<std::uint8_t>(kBufferSize);
        if (!buffer) {
            return false;
        }
    }
    bufferStart = position;
    bufferLength = 0;
    while (bufferLength < kBufferSize) {
        const ssize_t got = ::pread(file, buffer.get() + bufferLength, kBufferSize - bufferLength,
                                    static_cast<off_t>(bufferStart + bufferLength));
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            bufferLength = 0;
            readFailed = true;
            return false;
        }
        if (got == 0) {
            break;
        }
        bufferLength += static_cast<std::uint64_t>(got);
    }
    return true;
}

std::int64_t PxFileStream::Fetch(std::uint8_t* destination, std::uint64_t n)
{
    std::uint64_t done = 0;
    while (done < n && position < size) {
        if (position >= bufferStart && position < bufferStart + bufferLength) {
            const std::uint64_t offset = position - bufferStart;
            std::uint64_t count = bufferLength - offset;
            if (count > n - done) {
                count = n - done;
            }
            std::memcpy(destination + done, buffer.get() + offset, static_cast<std::size_t>(count));
            done += count;
            position += count;
            continue;
        }
        if (n - done >= kBufferSize) {
            // Large reads (a whole file, a long row) go straight to the caller.
            const ssize_t got = ::pread(file, destination + done, static_cast<std::size_t>(n - done),
                                        static_cast<off_t>(position));
            if (got < 0) {
                if (errno == EINTR) {
                    continue;
                }
                readFailed = true;
                return -1;
            }
            if (got == 0) {
                break;  // the file shrank since it was opened
            }
            done += static_cast<std::uint64_t>(got);
            position += static_cast<std::uint64_t>(got);
            continue;
        }
        if (!FillBuffer()) {
            return -1;
        }
        if (bufferLength == 0) {
            break;
        }
    }
    // What was not delivered is still consumed, so the next read continues
    // n bytes further on, as a plain read at the end of a file would.
    const std::uint64_t missing = n - done;
    position = missing > UINT64_MAX - position ? UINT64_MAX : position + missing;
    return static_cast<std::int64_t>(done);
}

const std::uint8_t* PxFileStream::ReadBlock(std::uint64_t n)
{
    if (file < 0) {
        return nullptr;
    }
    // Zeroed, so whatever lies past the end of the file reads as zero.
    block = PxZeroed<std::uint8_t>(n > 0 ? n : 1);
    if (!block || Fetch(block.get(), n) < 0) {
        return nullptr;
    }
    return block.get();
}

const std::uint8_t* PxFileStream::Skip(std::uint64_t n)
{
    if (file < 0) {
        return nullptr;
    }
    block.reset();
    // Saturate instead of wrapping; past the end every read delivers zeros.
    position = n > UINT64_MAX - position ? UINT64_MAX : position + n;
    return small;
}

int PxFileStream::Read(void* destination, std::uint64_t n, std::uint64_t* delivered)
{
    if (delivered != nullptr) {
        *delivered = 0;
    }
    if (file < 0 || destination == nullptr || n == 0) {
        return 1;
    }
    const std::int64_t got = Fetch(static_cast<std::uint8_t*>(destination), n);
    if (got < 0) {
        return 1;
    }
    if (delivered != nullptr) {
        *delivered = static_cast<std::uint64_t>(got);
    }
    return 0;
}

const std::uint8_t* PxFileStream::FetchSmall(std::uint64_t n)
{
    if (file < 0) {
        throw PxStreamError("read from a closed stream");
    }
    std::memset(small, 0, n);
    if (Fetch(small, n) < 0) {
        throw PxStreamError("read error");
    }
    return small;
}

std::uint8_t PxFileStream::ReadByte()
{
    // Fast path: the next byte is already in the read-ahead buffer.
    if (file >= 0 && position >= bufferStart && position < bufferStart + bufferLength) {
        return buffer[position++ - bufferStart];
    }
    return FetchSmall(1)[0];
}

std::int32_t PxFileStream::ReadWord()
{
    return static_cast<std::int32_t>(PxLe16(FetchSmall(2)));
}

std::uint32_t PxFileStream::ReadDword()
{
    return PxLe32(FetchSmall(4));
}

int PxFileStream::DetectFormat()
{
    const std::uint8_t* bytes = ReadBlock(20);
    if (bytes == nullptr) {
        return 0;
    }
    return PxClassifyFormat(bytes);
}

}  // namespace brelvix
