#pragma once

#include <algorithm>
#include <array>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "io/output.hpp"

namespace asfinspect::io {

// Unsigned integers other than bool, which would otherwise pass for one.
template <typename T>
concept UnsignedNumber = std::unsigned_integral<T> && !std::same_as<T, bool>;

// The name of a member. One written in the program is checked when the
// program is compiled, and one with nothing to escape (all of them, in
// practice) is written as it is; any other name is escaped.
class JsonName {
  public:
    constexpr JsonName() : plain_(true) {}
    consteval JsonName(const char* literal) : text_(literal), plain_(plain_text(text_)) {}
    JsonName(std::string_view text) : text_(text) {}
    JsonName(const std::string& text) : text_(text) {}
    // A name of letters, digits and '_' only, such as a field's identifier;
    // not checked.
    static JsonName identifier(std::string_view text) {
        JsonName name(text);
        name.plain_ = true;
        return name;
    }

    std::string_view text() const { return text_; }
    bool plain() const { return plain_; }

    static constexpr bool plain_text(std::string_view s) {
        return std::all_of(s.begin(), s.end(), [](char c) {
            const auto b = static_cast<unsigned char>(c);
            return b >= 0x20 && b < 0x80 && b != '"' && b != '\\';
        });
    }

  private:
    std::string_view text_;
    bool plain_ = false;
};

// A name written in the program given as a template argument, for the
// members of the rows of a long array (json.member_number<"size">(n)): its
// key is made when the program is compiled, comma and quotes included, and
// written with one copy.
template <std::size_t N>
struct MemberName {
    consteval MemberName(const char (&literal)[N]) {
        if (!JsonName::plain_text(std::string_view(literal, N - 1)))
            throw "a member name to escape";
        std::copy_n(literal, N, text);
    }
    std::string_view view() const { return {text, N - 1}; }

    char text[N];
};

// `,"NAME":`, and a byte that a fixed-size copy from its second may read.
template <MemberName Name>
inline constexpr auto kMadeKey = [] {
    constexpr std::size_t length = sizeof Name.text - 1;
    std::array<char, length + 5> made{};
    made[0] = ',';
    made[1] = '"';
    std::copy_n(Name.text, length, made.begin() + 2);
    made[length + 2] = '"';
    made[length + 3] = ':';
    return made;
}();

// JSON written as it is made, through an Output: the writer puts the commas
// and counts the nesting; keys and strings are escaped here and nowhere else,
// and bytes that are not valid UTF-8 become U+FFFD, so that the document is
// valid JSON whatever the file holds.
//
// The caller gives the structure: a key before each value of an object, none
// in an array. Nesting is bounded: a container opened deeper than kMaxDepth
// is written as null, and what it holds is skipped.
class JsonWriter {
  public:
    static constexpr std::size_t kMaxDepth = 64;

    explicit JsonWriter(Output& out) : out_(out) {}

    JsonWriter& begin_object() { return open('{'); }
    JsonWriter& end_object() { return close('}'); }
    JsonWriter& begin_array() { return open('['); }
    JsonWriter& end_array() { return close(']'); }

    // A key, or one made of two parts: a field's name and a suffix
    // ("_text"), say.
    JsonWriter& key(JsonName name, JsonName suffix = {}) {
        if (write_key(name, suffix))
            state_ = kFirst;  // the member's value follows the colon, without a comma
        return *this;
    }
    // A key of letters, digits and '_' only, which has nothing to escape (a
    // field's identifier), in the first `length` of the N characters at
    // `storage`: all N are copied at once, which compiles to a few moves.
    // The keys of the decode's fields take this way: it keeps the tree's
    // JSON fast.
    template <std::size_t N>
    JsonWriter& identifier_key(const std::array<char, N>& storage, std::size_t length) {
        length = std::min(length, N);
        if (state_ > kFirst) [[unlikely]]
            return key(JsonName::identifier(std::string_view(storage.data(), length)));
        char* const start = out_.room<N + 4>();
        char* p = open_key(start);
        std::memcpy(p, storage.data(), N);
        close_key(start, p + length);
        state_ = kFirst;
        return *this;
    }

    JsonWriter& string(std::string_view utf8);
    template <UnsignedNumber T>
    JsonWriter& number(T v) {
        if (begin_value())
            out_.number(v);
        return *this;
    }
    template <std::signed_integral T>
    JsonWriter& signed_number(T v) {
        if (begin_value())
            out_.signed_number(v);
        return *this;
    }
    JsonWriter& boolean(bool v) {
        if (begin_value())
            write_bool(v);
        return *this;
    }
    // Only a bool is taken: a pointer or a number would convert silently.
    template <typename T>
    JsonWriter& boolean(T) = delete;
    JsonWriter& null() { return raw("null"); }
    // A value already in JSON form: exact seconds ("3.1"), say.
    JsonWriter& raw(std::string_view json) {
        if (begin_value())
            out_.text(json);
        return *this;
    }
    // A value that `write` writes whole, in JSON form, to the Output it is
    // given: through a formatter of exact seconds, say. Not called inside a
    // skipped container.
    template <typename Write>
    JsonWriter& raw_with(Write&& write) {
        if (begin_value())
            write(out_);
        return *this;
    }

    // A member and its value.
    JsonWriter& member_string(JsonName name, std::string_view v) { return key(name).string(v); }
    template <UnsignedNumber T>
    JsonWriter& member_number(JsonName name, T v) {
        if (write_key(name, {}))
            out_.number(v);
        return *this;
    }
    template <std::signed_integral T>
    JsonWriter& member_signed(JsonName name, T v) {
        if (write_key(name, {}))
            out_.signed_number(v);
        return *this;
    }
    JsonWriter& member_bool(JsonName name, bool v) {
        if (write_key(name, {}))
            write_bool(v);
        return *this;
    }
    template <typename T>
    JsonWriter& member_bool(JsonName name, T) = delete;
    JsonWriter& member_null(JsonName name) { return key(name).null(); }
    JsonWriter& member_raw(JsonName name, std::string_view json) { return key(name).raw(json); }

    // The same with the name as a template argument, the faster way.
    template <MemberName Name>
    JsonWriter& key() {
        if (write_made_key<Name>())
            state_ = kFirst;
        return *this;
    }
    template <MemberName Name, UnsignedNumber T>
    JsonWriter& member_number(T v) {
        if (write_made_key<Name>())
            out_.number(v);
        return *this;
    }
    template <MemberName Name, std::signed_integral T>
    JsonWriter& member_signed(T v) {
        if (write_made_key<Name>())
            out_.signed_number(v);
        return *this;
    }
    template <MemberName Name>
    JsonWriter& member_bool(bool v) {
        if (write_made_key<Name>())
            write_bool(v);
        return *this;
    }
    template <MemberName Name, typename T>
    JsonWriter& member_bool(T) = delete;

    // A line break before the next value, or before the end of the
    // container when no value follows: an array that holds an item a line.
    JsonWriter& line_break() {
        if (depth_ != 0)
            state_ |= kLineBreak;
        return *this;
    }
    // Ends a top-level value with a newline; the writer may then write
    // another document.
    JsonWriter& end_document();

    // Containers open (those skipped beyond kMaxDepth included).
    std::size_t depth() const { return depth_ + skipped_; }
    Output& output() { return out_; }

  private:
    // Bits of state_. The common cases see 0 (a comma before the next value)
    // or kFirst; the others take a slower way.
    static constexpr std::uint8_t kFirst = 1;      // no comma before the next value
    static constexpr std::uint8_t kLineBreak = 2;  // before the next value or end
    static constexpr std::uint8_t kSkipping = 4;   // inside a container too deep
    // What opens a container, by state_ & (kFirst | kLineBreak).
    static constexpr std::array<std::array<char, 4>, 4> kObjectOpenings = {
        {{',', '{'}, {'{'}, {',', '\n', '{'}, {'\n', '{'}}};
    static constexpr std::array<std::array<char, 4>, 4> kArrayOpenings = {
        {{',', '['}, {'['}, {',', '\n', '['}, {'\n', '['}}};
    static constexpr std::array<std::size_t, 4> kOpeningLengths = {2, 1, 3, 2};
    // Keys up to this long are written in place in one piece.
    static constexpr std::size_t kShortKey = 40;

    // Writes what comes before a value: a comma after an earlier value of
    // the container, and a line break asked for. False inside a skipped
    // container.
    bool begin_value() {
        if (state_ > kFirst) [[unlikely]]
            return begin_unusual_value();
        if (state_ == 0)
            out_.text(",");
        state_ = 0;
        return true;
    }
    bool begin_unusual_value();
    void write_bool(bool v) { out_.text_within<5>(v ? "true" : "false", v ? 4 : 5); }
    JsonWriter& open(char bracket) {
        // A line break before it is the common case of a row of a long array.
        if (state_ > (kFirst | kLineBreak) || depth_ == kMaxDepth) [[unlikely]]
            return skip_container();
        // A comma when one is due, a line break when asked for, the bracket:
        // text made when the program is compiled.
        const auto& text = bracket == '{' ? kObjectOpenings : kArrayOpenings;
        const std::size_t which = (state_ & kFirst) | (state_ & kLineBreak);
        out_.text_within<4>(text[which].data(), kOpeningLengths[which]);
        ++depth_;
        state_ = kFirst;
        return *this;
    }
    JsonWriter& skip_container();
    JsonWriter& close(char bracket) {
        // An end with nothing open is the caller's mistake, and is ignored.
        if (state_ > kFirst || depth_ == 0) [[unlikely]]
            return close_unusual(bracket);
        out_.text(std::string_view(&bracket, 1));
        --depth_;
        state_ = 0;
        return *this;
    }
    JsonWriter& close_unusual(char bracket);

    // Writes what comes before a member's value: a comma when one is due, a
    // line break asked for, and the key. False inside a skipped container.
    bool write_key(JsonName name, JsonName suffix) {
        const std::size_t n = name.text().size();
        const std::size_t m = suffix.text().size();
        if (state_ > kFirst || !name.plain() || !suffix.plain() || n + m > kShortKey) [[unlikely]]
            return write_unusual_key(name, suffix);
        char* const start = out_.room<kShortKey + 4>();
        char* p = open_key(start);
        // An empty view may hold no pointer at all, which memcpy must not get.
        if (n != 0)
            std::memcpy(p, name.text().data(), n);
        if (m != 0)
            std::memcpy(p + n, suffix.text().data(), m);
        close_key(start, p + n + m);
        return true;
    }
    bool write_unusual_key(JsonName name, JsonName suffix);
    template <MemberName Name>
    bool write_made_key() {
        if (state_ > kFirst) [[unlikely]]
            return write_unusual_key(Name.view(), {});
        constexpr auto& made = kMadeKey<Name>;
        // From the comma, or after it when none is due.
        const std::size_t skip = state_;
        out_.text_within<made.size() - 1>(made.data() + skip, made.size() - 1 - skip);
        state_ = 0;
        return true;
    }
    // `,"` at `p`, its comma left out when none is due; returns where the
    // key's name goes.
    char* open_key(char* p) const {
        *p = ',';
        p += state_ ^ kFirst;
        *p = '"';
        return p + 1;
    }
    // `":` after the name, which ends at `p`.
    void close_key(const char* start, char* p) {
        p[0] = '"';
        p[1] = ':';
        out_.wrote(static_cast<std::size_t>(p + 2 - start));
        state_ = 0;
    }
    void escaped(std::string_view text);

    Output& out_;
    // Once a value is written in a container, each one after it follows a
    // comma; the container's end is itself a value of the one around it, so
    // a depth is all the state that the commas need.
    std::size_t depth_ = 0;    // containers written and open
    std::size_t skipped_ = 0;  // containers open beyond kMaxDepth
    std::uint8_t state_ = kFirst;
};

}  // namespace asfinspect::io
