#include "io/json_writer.hpp"

#include <algorithm>
#include <array>
#include <cstring>

#include "io/utf8.hpp"

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

constexpr std::uint64_t kOnes = 0x0101010101010101;
constexpr std::uint64_t kHighBits = kOnes * 0x80;

std::uint64_t eight_bytes_at(const char* p) {
    std::uint64_t w;
    std::memcpy(&w, p, sizeof w);
    return w;
}

// Nonzero when a byte of `w` is below `n` (n <= 0x80), or zero when none is
// and none is past 0x7F.
constexpr std::uint64_t bytes_below(std::uint64_t w, std::uint8_t n) {
    return (w - kOnes * n) & ~w & kHighBits;
}

// True when none of the eight bytes of `w` needs a look of its own: no
// control character, quote, backslash or byte past 0x7F. Text is checked
// eight bytes at a time with it.
constexpr bool plain_bytes(std::uint64_t w) {
    return (bytes_below(w, 0x20) | bytes_below(w ^ (kOnes * '"'), 1) |
            bytes_below(w ^ (kOnes * '\\'), 1) | (w & kHighBits)) == 0;
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

bool JsonWriter::write_unusual_key(JsonName name, JsonName suffix) {
    if (!begin_value())
        return false;
    out_.text("\"");
    for (const JsonName& part : {name, suffix}) {
        if (part.plain())
            out_.text(part.text());
        else
            escaped(part.text());
    }
    out_.text("\":");
    return true;
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
    state_ = kFirst;
    return *this;
}

bool JsonWriter::begin_unusual_value() {
    if ((state_ & kSkipping) != 0)
        return false;
    // A line break asked for, after the comma.
    const std::string_view comma_and_break = ",\n";
    out_.text(comma_and_break.substr(state_ & kFirst));
    state_ = 0;
    return true;
}

JsonWriter& JsonWriter::skip_container() {
    if ((state_ & kSkipping) != 0) {
        ++skipped_;
        return *this;
    }
    // The first container too deep stands as null; what it holds is skipped,
    // and the containers inside it only counted.
    null();
    skipped_ = 1;
    state_ = kSkipping;
    return *this;
}

JsonWriter& JsonWriter::close_unusual(char bracket) {
    if ((state_ & kSkipping) != 0) {
        if (--skipped_ == 0)
            state_ = 0;  // the null written in its place was a value
        return *this;
    }
    if (depth_ == 0)
        return *this;
    if ((state_ & kLineBreak) != 0)
        out_.text("\n");
    out_.text(std::string_view(&bracket, 1));
    --depth_;
    state_ = 0;
    return *this;
}

void JsonWriter::escaped(std::string_view text) {
    const std::size_t size = text.size();
    std::size_t run = 0;  // start of the bytes not yet written
    for (std::size_t i = 0; i < size;) {
        // The last eight bytes are read again rather than one at a time.
        if (size >= 8) {
            const std::size_t at = std::min(i, size - 8);
            if (plain_bytes(eight_bytes_at(text.data() + at))) {
                i = at + 8;
                continue;
            }
        }
        const auto c = static_cast<unsigned char>(text[i]);
        const ByteClass k = kByteClasses[c];
        if (k == ByteClass::plain) {
            ++i;
            continue;
        }
        const Utf8Char ch = k == ByteClass::high ? utf8_char(text.substr(i)) : Utf8Char{};
        const std::size_t sequence = ch.cut ? 0 : ch.size;
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
