#include "app/text_numbers.h"

#include <locale.h>

#include <cstdlib>
#include <limits>
#include <string>

namespace brelvix::app {

namespace {

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Blanks as the C locale knows them.
bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// The length of the digit run starting at `start`.
std::size_t Digits(std::string_view text, std::size_t start)
{
    std::size_t end = start;
    while (end < text.size() && IsDigit(text[end])) {
        ++end;
    }
    return end - start;
}

}  // namespace

std::int32_t IntegerPrefix(std::string_view text)
{
    std::size_t i = 0;
    const bool negative = !text.empty() && text[0] == '-';
    if (negative) {
        i = 1;
    }
    // Accumulates the magnitude, stopping once it is past every 32-bit value.
    constexpr std::int64_t kLimit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
    std::int64_t magnitude = 0;
    for (; i < text.size() && IsDigit(text[i]); ++i) {
        magnitude = magnitude * 10 + (text[i] - '0');
        if (magnitude > kLimit) {
            magnitude = kLimit;
        }
    }
    const std::int64_t value = negative ? -magnitude : magnitude;
    if (value > std::numeric_limits<std::int32_t>::max()) {
        return std::numeric_limits<std::int32_t>::max();
    }
    return static_cast<std::int32_t>(value);
}

double DecimalPrefix(std::string_view text)
{
    std::size_t start = 0;
    while (start < text.size() && IsBlank(text[start])) {
        ++start;
    }
    std::size_t end = start;
    if (end < text.size() && (text[end] == '+' || text[end] == '-')) {
        ++end;
    }
    const std::size_t whole = Digits(text, end);
    end += whole;
    std::size_t fraction = 0;
    if (end < text.size() && text[end] == '.') {
        fraction = Digits(text, end + 1);
        if (whole > 0 || fraction > 0) {
            end += 1 + fraction;
        }
    }
    if (whole == 0 && fraction == 0) {
        return 0.0;
    }
    if (end < text.size() && (text[end] == 'e' || text[end] == 'E')) {
        std::size_t exponent = end + 1;
        if (exponent < text.size() && (text[exponent] == '+' || text[exponent] == '-')) {
            ++exponent;
        }
        const std::size_t digits = Digits(text, exponent);
        if (digits > 0) {
            end = exponent + digits;
        }
    }
    // The prefix is checked above to be plain decimal notation, so the C
    // library reads exactly it; its own locale must not decide what the
    // decimal point is.
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", locale_t{});
    const std::string number(text.substr(start, end - start));
    if (cLocale == locale_t{}) {
        return std::strtod(number.c_str(), nullptr);
    }
    return strtod_l(number.c_str(), nullptr, cLocale);
}

}  // namespace brelvix::app
