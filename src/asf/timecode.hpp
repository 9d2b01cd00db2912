#pragma once

#include <cstdint>

namespace asfinspect::asf {

// A timecode as the Timecode Index Object and the Timecode payload extension
// store it: a DWORD of eight BCD digits, HHMMSSFF, the hours in its highest
// byte. Its text is then the DWORD's hexadecimal digits, two by two.
inline constexpr int kTimecodeDigits = 8;

// True when each of the eight digits is a decimal digit.
constexpr bool bcd_timecode(std::uint32_t v) {
    for (int digit = 0; digit < kTimecodeDigits; ++digit) {
        if ((v >> (4 * digit) & 0xF) > 9)
            return false;
    }
    return true;
}

}  // namespace asfinspect::asf
