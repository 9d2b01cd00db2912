#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "io/le.hpp"

namespace asfinspect::decode {

// Appends the UTF-16LE text to `out` as UTF-8. Unpaired surrogates and an odd
// last byte become U+FFFD; trailing NULs (the terminator writers put, and the
// padding some add) are dropped.
void append_utf8_from_utf16le(io::Bytes utf16, std::string& out);

// Appends 8-bit text to `out` as UTF-8: ASCII stays, other bytes are taken as
// Latin-1. Trailing NULs are dropped.
void append_utf8_from_latin1(io::Bytes text, std::string& out);

// The bytes as UTF-8 text, their trailing NULs dropped; nothing when they
// aren't valid UTF-8. With `cut`, the bytes are the first of longer text,
// and a character they end inside of is left out.
std::optional<std::string_view> utf8_text(io::Bytes bytes, bool cut);

// Message text for findings: strings as they are, integers in decimal, Hex
// values with 0x.
struct Hex {
    std::uint64_t value;
};

namespace detail {
void append(std::string& s, std::string_view v);
void append(std::string& s, std::uint64_t v);
void append(std::string& s, std::int64_t v);
void append(std::string& s, Hex v);
inline void append(std::string& s, const char* v) {
    append(s, std::string_view(v));
}
inline void append(std::string& s, std::uint32_t v) {
    append(s, std::uint64_t{v});
}
inline void append(std::string& s, std::uint16_t v) {
    append(s, std::uint64_t{v});
}
inline void append(std::string& s, std::uint8_t v) {
    append(s, std::uint64_t{v});
}
inline void append(std::string& s, int v) {
    append(s, std::int64_t{v});
}
}  // namespace detail

template <typename... Parts>
std::string message(const Parts&... parts) {
    std::string s;
    (detail::append(s, parts), ...);
    return s;
}

}  // namespace asfinspect::decode
