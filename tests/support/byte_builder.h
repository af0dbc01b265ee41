// Little-endian byte strings for building picture files field by field in
// tests, so that every field can carry its own comment.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string_view>
#include <vector>

namespace brelvix {

class ByteBuilder {
public:
    ByteBuilder& U8(std::uint32_t value)
    {
        bytes_.push_back(static_cast<std::uint8_t>(value));
        return *this;
    }
    ByteBuilder& U16(std::uint32_t value) { return U8(value).U8(value >> 8); }
    ByteBuilder& U32(std::uint32_t value) { return U16(value).U16(value >> 16); }
    ByteBuilder& I32(std::int32_t value) { return U32(static_cast<std::uint32_t>(value)); }
    ByteBuilder& Text(std::string_view text)
    {
        bytes_.insert(bytes_.end(), text.begin(), text.end());
        return *this;
    }
    ByteBuilder& Raw(std::initializer_list<std::uint8_t> values)
    {
        bytes_.insert(bytes_.end(), values);
        return *this;
    }
    ByteBuilder& Raw(const std::vector<std::uint8_t>& values)
    {
        bytes_.insert(bytes_.end(), values.begin(), values.end());
        return *this;
    }
    ByteBuilder& Fill(std::size_t count, std::uint8_t value)
    {
        bytes_.insert(bytes_.end(), count, value);
        return *this;
    }
    // Overwrites 4 bytes at `at` (for sizes and offsets known only at the end).
    ByteBuilder& PatchU32(std::size_t at, std::uint32_t value)
    {
        for (int i = 0; i < 4; ++i) {
            bytes_.at(at + i) = static_cast<std::uint8_t>(value >> (8 * i));
        }
        return *this;
    }

    std::size_t Size() const { return bytes_.size(); }
    const std::vector<std::uint8_t>& Bytes() const { return bytes_; }

private:
    std::vector<std::uint8_t> bytes_;
};

}  // namespace brelvix
