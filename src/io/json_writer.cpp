#include "io/json_writer.hpp"

#include <array>

namespace asfinspect::io {

namespace {

enum class ByteClass : std::uint8_t {
    plain,    // written as it is
    escaped,  // a control character, a quote or a backslash
    high,     // starts or continues a UTF-8 sequence, which is checked
};

constexpr std::array<ByteClass, 256> kByteClasses = [] {
    std::array<ByteClass, 256> classes{};
    for (std::size_t c = 0; c < classes.size(); ++c) {
        if (c < 0x20 || c == '"' || c == '\\')
            classes[c] = ByteClass::escaped;
        else if (c >= 0x80)
            classes[c] = ByteClass::high;
    }
    return classes;
}();

// Length of the valid UTF-8 sequence at the start of `s`, or 0: overlong
// forms, surrogates and code points past U+10FFFF are not valid.
std::size_t utf8_sequence(std::string_view s) {
    const auto b0 = static_cast<unsigned char>(s[0]);
    std::size_t n = 0;
    char32_t min = 0;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        n = 2;
        min = 0x80;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        n = 3;
        min = 0x800;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        n = 4;
        min = 0x10000;
    } else {
        return 0;
    }
    if (s.size() < n)
        return 0;
    char32_t c = b0 & (0x7F >> n);
    for (std::size_t i = 1; i < n; ++i) {
        const auto b = static_cast<unsigned char>(s[i]);
        if ((b & 0xC0) != 0x80)
            return 0;
        c = c << 6 | (b & 0x3F);
    }
    if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        return 0;
    return n;
}

// The escape of a character below 0x20, a quote or a backslash.
std::string_view escape_of(unsigned char c, std::array<char, 6>& buffer) {
    static constexpr char kHex[] = "0123456789abcdef";
    switch (c) {
        case '"':
            return "\\\"";
        case '\\':
            return "\\\\";
        case '\n':
            return "\\n";
        case '\t':
            return "\\t";
        case '\r':
            return "\\r";
        default:
            buffer = {'\\', 'u', '0', '0', kHex[c >> 4], kHex[c & 0xf]};
            return {buffer.data(), buffer.size()};
    }
}

}  // namespace

JsonWriter& JsonWriter::key(std::string_view name, std::string_view suffix) {
    if (!begin_value())
        return *this;
    out_.text("\"");
    escaped(name);
    escaped(suffix);
    out_.text("\":");
    // The member's value follows the colon, without a comma.
    first_ = true;
    return *this;
}

JsonWriter& JsonWriter::string(std::string_view utf8) {
    if (!begin_value())
        return *this;
    out_.text("\"");
    escaped(utf8);
    out_.text("\"");
    return *this;
}

JsonWriter& JsonWriter::end_document() {
    out_.end_line();
    depth_ = 0;
    skipped_ = 0;
    first_ = true;
    line_break_ = false;
    return *this;
}

JsonWriter& JsonWriter::skip_container() {
    // The first container too deep stands as null; those inside it add to
    // the count only.
    if (skipped_ == 0)
        null();
    ++skipped_;
    return *this;
}

void JsonWriter::escaped(std::string_view text) {
    std::size_t run = 0;  // start of the bytes not yet written
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        const ByteClass k = kByteClasses[c];
        if (k == ByteClass::plain) {
            ++i;
            continue;
        }
        const std::size_t sequence = k == ByteClass::high ? utf8_sequence(text.substr(i)) : 0;
        if (sequence != 0) {
            i += sequence;
            continue;
        }
        out_.text(text.substr(run, i - run));
        std::array<char, 6> buffer;
        out_.text(k == ByteClass::high ? "\xEF\xBF\xBD" : escape_of(c, buffer));  // U+FFFD
        ++i;
        run = i;
    }
    out_.text(text.substr(run));
}

}  // namespace asfinspect::io
