#pragma once

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "io/output.hpp"

namespace asfinspect::io {

// Unsigned integers other than bool, which would otherwise pass for one.
template <typename T>
concept UnsignedNumber = std::unsigned_integral<T> && !std::same_as<T, bool>;

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

    JsonWriter& key(std::string_view name) { return key(name, {}); }
    // A key made of two parts: a field's name and a suffix ("_text"), say.
    JsonWriter& key(std::string_view name, std::string_view suffix);

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
    JsonWriter& member_string(std::string_view name, std::string_view v) {
        return key(name).string(v);
    }
    template <UnsignedNumber T>
    JsonWriter& member_number(std::string_view name, T v) {
        return key(name).number(v);
    }
    template <std::signed_integral T>
    JsonWriter& member_signed(std::string_view name, T v) {
        return key(name).signed_number(v);
    }
    JsonWriter& member_bool(std::string_view name, bool v) { return key(name).boolean(v); }
    template <typename T>
    JsonWriter& member_bool(std::string_view name, T) = delete;
    JsonWriter& member_null(std::string_view name) { return key(name).null(); }
    JsonWriter& member_raw(std::string_view name, std::string_view json) {
        return key(name).raw(json);
    }

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
