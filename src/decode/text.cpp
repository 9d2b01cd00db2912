#include "decode/text.hpp"

#include <algorithm>
#include <charconv>

#include "decode/facts.hpp"
#include "io/utf8.hpp"

namespace asfinspect::decode {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

void put_utf8(char32_t c, std::string& out) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | c >> 6));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | c >> 12));
        out.push_back(static_cast<char>(0x80 | (c >> 6 & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | c >> 18));
        out.push_back(static_cast<char>(0x80 | (c >> 12 & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c >> 6 & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

bool is_high_surrogate(char32_t u) {
    return u >= 0xD800 && u <= 0xDBFF;
}
bool is_low_surrogate(char32_t u) {
    return u >= 0xDC00 && u <= 0xDFFF;
}

}  // namespace

void append_utf8_from_utf16le(io::Bytes utf16, std::string& out) {
    std::size_t units = utf16.size() / 2;
    // An odd length leaves half a unit: half of a terminator when it is zero
    // (some writers count one byte less), a damaged character otherwise.
    const bool odd_byte = utf16.size() % 2 != 0 && utf16.back() != 0;
    if (!odd_byte) {
        while (units > 0 && io::le16(utf16, 2 * (units - 1)) == 0)
            --units;
    }
    for (std::size_t i = 0; i < units; ++i) {
        const char32_t u = io::le16(utf16, 2 * i);
        if (is_high_surrogate(u) && i + 1 < units && is_low_surrogate(io::le16(utf16, 2 * i + 2))) {
            const char32_t low = io::le16(utf16, 2 * i + 2);
            put_utf8(0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00), out);
            ++i;
        } else if (is_high_surrogate(u) || is_low_surrogate(u)) {
            put_utf8(kReplacement, out);
        } else {
            put_utf8(u, out);
        }
    }
    if (odd_byte)
        put_utf8(kReplacement, out);
}

std::optional<std::string_view> utf8_text(io::Bytes bytes, bool cut) {
    std::size_t end = bytes.size();
    while (end > 0 && bytes[end - 1] == 0)
        --end;
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), end);
    // Each pass takes one character, until the end or one that isn't valid.
    for (std::size_t i = 0; i < end;) {
        const io::Utf8Char ch = io::utf8_char(text.substr(i));
        if (ch.cut && cut)
            return text.substr(0, i);  // a character the cut ends inside of
        if (ch.size == 0 || ch.cut)
            return std::nullopt;
        i += ch.size;
    }
    return text;
}

void append_utf8_from_latin1(io::Bytes text, std::string& out) {
    std::size_t n = text.size();
    while (n > 0 && text[n - 1] == 0)
        --n;
    for (std::size_t i = 0; i < n; ++i)
        put_utf8(text[i], out);
}

void KeptText::keep(std::string_view utf8) {
    cut = utf8.size() > kKeptTextBytes;
    std::size_t n = std::min(utf8.size(), kKeptTextBytes);
    // Back to the first byte of a character: at most three continuation bytes.
    if (cut) {
        while (n > 0 && (static_cast<unsigned char>(utf8[n]) & 0xC0) == 0x80)
            --n;
    }
    text.assign(utf8.substr(0, n));
}

namespace detail {

void append(std::string& s, std::string_view v) {
    s.append(v);
}

void append(std::string& s, std::uint64_t v) {
    char buf[24];
    s.append(buf, std::to_chars(buf, buf + sizeof buf, v).ptr);
}

void append(std::string& s, std::int64_t v) {
    char buf[24];
    s.append(buf, std::to_chars(buf, buf + sizeof buf, v).ptr);
}

void append(std::string& s, Hex v) {
    char buf[24];
    s.append("0x");
    s.append(buf, std::to_chars(buf, buf + sizeof buf, v.value, 16).ptr);
}

}  // namespace detail

}  // namespace asfinspect::decode
