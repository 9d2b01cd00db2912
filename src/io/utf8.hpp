#pragma once

#include <cstddef>
#include <string_view>

namespace asfinspect::io {

// The UTF-8 character at the start of some text.
struct Utf8Char {
    std::size_t size = 0;  // its bytes; 0 when no valid character starts there
    bool cut = false;      // a valid start that the end of the text cuts short
};

// Reads the character at the start of `s`, which is not empty. Overlong
// forms, surrogates and code points past U+10FFFF are not valid.
inline Utf8Char utf8_char(std::string_view s) {
    const auto lead = static_cast<unsigned char>(s[0]);
    std::size_t n = 1;
    char32_t least = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        n = 2;
        least = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        n = 3;
        least = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        n = 4;
        least = 0x10000;
    } else if (lead >= 0x80) {
        return {};
    }
    const std::size_t have = n < s.size() ? n : s.size();
    char32_t c = lead & (0x7F >> n);
    for (std::size_t i = 1; i < have; ++i) {
        const auto b = static_cast<unsigned char>(s[i]);
        if ((b & 0xC0) != 0x80)
            return {};
        c = c << 6 | (b & 0x3F);
    }
    if (have < n)
        return {have, true};
    if (c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        return {};
    return {n, false};
}

}  // namespace asfinspect::io
