// Numbers typed by the user or stored as text, read the lenient way the
// program has always read them: the number at the start of the text counts
// and whatever follows is ignored, so no text is ever refused.
#pragma once

#include <cstdint>
#include <string_view>

namespace brelvix::app {

// An optional minus sign, then the decimal digits up to the first other
// character; 0 when there are none. No blanks or plus sign are skipped.
// Values beyond the 32-bit range are held at its ends.
std::int32_t IntegerPrefix(std::string_view text);

// Leading blanks skipped, then the longest prefix that is a decimal number
// (optional sign, digits with an optional point and fraction, an optional
// exponent) read in the C locale, whatever the user's locale; 0.0 when there
// is none. Only decimal notation counts: "inf", "nan" and hexadecimal
// numbers read as 0.0 (or as their leading decimal part). Out-of-range
// values become infinity or zero.
double DecimalPrefix(std::string_view text);

}  // namespace brelvix::app
