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

  private:
    static constexpr bool plain_text(std::string_view s) {
        return std::all_of(s.begin(), s.end(), [](char c) {
            const auto b = static_cast<unsigned char>(c);
            return b >= 0x20 && b < 0x80 && b != '"' && b != '\\';
        });
    }

    std::string_view text_;
    bool plain_ = false;
};

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
        if (!name.plain() || !suffix.plain()) [[unlikely]]
            return escaped_key(name, suffix);
        if (!begin_value())
            return *this;
        out_.text("\"").text(name.text()).text(suffix.text()).text("\":");
        // The member's value follows the colon, without a comma.
        first_ = true;
        return *this;
    }

    // A key of letters, digits and '_' only, which has nothing to escape (a
    // field's identifier), in the first `length` of the N characters at
    // `storage`: all N are copied at once, which compiles to a few moves.
    // The keys of the decode's fields take this way: it keeps the tree's
    // JSON fast.
    template <std::size_t N>
    JsonWriter& identifier_key(const std::array<char, N>& storage, std::size_t length) {
        if (!begin_value())
            return *this;
        length = std::min(length, N);
        std::array<char, N + 3> text;
        text[0] = '"';
        std::memcpy(text.data() + 1, storage.data(), N);
        text[length + 1] = '"';
        text[length + 2] = ':';
        out_.text_within<N + 3>(text.data(), length + 3);
        first_ = true;
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
    JsonWriter& boolean(bool v) { return raw(v ? "true" : "false"); }
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
        return key(name).number(v);
    }
    template <std::signed_integral T>
    JsonWriter& member_signed(JsonName name, T v) {
        return key(name).signed_number(v);
    }
    JsonWriter& member_bool(JsonName name, bool v) { return key(name).boolean(v); }
    template <typename T>
    JsonWriter& member_bool(JsonName name, T) = delete;
    JsonWriter& member_null(JsonName name) { return key(name).null(); }
    JsonWriter& member_raw(JsonName name, std::string_view json) { return key(name).raw(json); }

    // A line break before the next value, or before the end of the
    // container when no value follows: an array that holds an item a line.
    JsonWriter& line_break() {
        line_break_ = depth_ != 0 && skipped_ == 0;
        return *this;
    }
    // Ends a top-level value with a newline; the writer may then write
    // another document.
    JsonWriter& end_document();

    // Containers open (those skipped beyond kMaxDepth included).
    std::size_t depth() const { return depth_ + skipped_; }
    Output& output() { return out_; }

  private:
    // Writes what comes before a value: a comma after an earlier value of
    // the container, and a line break asked for. False inside a skipped
    // container.
    bool begin_value() {
        if (skipped_ != 0) [[unlikely]]
            return false;
        if (!first_)
            out_.text(",");
        if (line_break_) [[unlikely]] {
            out_.text("\n");
            line_break_ = false;
        }
        first_ = false;
        return true;
    }
    JsonWriter& open(char bracket) {
        if (skipped_ != 0 || depth_ == kMaxDepth) [[unlikely]]
            return skip_container();
        begin_value();
        out_.text(std::string_view(&bracket, 1));
        ++depth_;
        first_ = true;
        return *this;
    }
    JsonWriter& close(char bracket) {
        if (skipped_ != 0) [[unlikely]] {
            --skipped_;
            return *this;
        }
        // An end with nothing open is the caller's mistake, and is ignored.
        if (depth_ == 0) [[unlikely]]
            return *this;
        if (line_break_) [[unlikely]] {
            out_.text("\n");
            line_break_ = false;
        }
        out_.text(std::string_view(&bracket, 1));
        --depth_;
        first_ = false;
        return *this;
    }
    JsonWriter& escaped_key(JsonName name, JsonName suffix);
    JsonWriter& skip_container();
    void escaped(std::string_view text);

    Output& out_;
    // Once a value is written in a container, each one after it follows a
    // comma; the container's end is itself a value of the one around it, so
    // a depth is all the state that the commas need.
    std::size_t depth_ = 0;    // containers written and open
    std::size_t skipped_ = 0;  // containers open beyond kMaxDepth
    bool first_ = true;        // no comma before the next value
    bool line_break_ = false;  // a line break before the next value or end
};

}  // namespace asfinspect::io
