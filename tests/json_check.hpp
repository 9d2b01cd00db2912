#pragma once

// A strict check that text is one JSON document (RFC 8259): for the tests
// and the fuzz target, which must not depend on a JSON library.

#include <cstddef>
#include <string_view>

namespace asftest {

class JsonChecker {
  public:
    explicit JsonChecker(std::string_view text) : s_(text) {}

    // True when the whole text is one JSON value, with white space around it.
    bool valid() {
        skip_space();
        if (!value(0))
            return false;
        skip_space();
        return at_ == s_.size();
    }

  private:
    static constexpr int kMaxDepth = 512;

    bool more() const { return at_ < s_.size(); }
    char peek() const { return more() ? s_[at_] : '\0'; }
    void skip_space() {
        while (more() && (peek() == ' ' || peek() == '\n' || peek() == '\t' || peek() == '\r'))
            ++at_;
    }
    bool literal(std::string_view word) {
        if (s_.substr(at_, word.size()) != word)
            return false;
        at_ += word.size();
        return true;
    }
    bool value(int depth) {
        if (depth > kMaxDepth)
            return false;
        switch (peek()) {
            case '{':
                return members(depth);
            case '[':
                return elements(depth);
            case '"':
                return string();
            case 't':
                return literal("true");
            case 'f':
                return literal("false");
            case 'n':
                return literal("null");
            default:
                return number();
        }
    }
    bool members(int depth) {
        ++at_;
        skip_space();
        if (peek() == '}')
            return ++at_, true;
        for (;;) {
            skip_space();
            if (!string())
                return false;
            skip_space();
            if (peek() != ':')
                return false;
            ++at_;
            skip_space();
            if (!value(depth + 1))
                return false;
            skip_space();
            if (peek() == '}')
                return ++at_, true;
            if (peek() != ',')
                return false;
            ++at_;
        }
    }
    bool elements(int depth) {
        ++at_;
        skip_space();
        if (peek() == ']')
            return ++at_, true;
        for (;;) {
            skip_space();
            if (!value(depth + 1))
                return false;
            skip_space();
            if (peek() == ']')
                return ++at_, true;
            if (peek() != ',')
                return false;
            ++at_;
        }
    }
    bool digits() {
        const std::size_t start = at_;
        while (more() && peek() >= '0' && peek() <= '9')
            ++at_;
        return at_ > start;
    }
    bool number() {
        if (peek() == '-')
            ++at_;
        if (peek() == '0') {
            ++at_;
        } else if (!digits()) {
            return false;
        }
        if (peek() == '.') {
            ++at_;
            if (!digits())
                return false;
        }
        if (peek() == 'e' || peek() == 'E') {
            ++at_;
            if (peek() == '+' || peek() == '-')
                ++at_;
            if (!digits())
                return false;
        }
        return true;
    }
    static bool hex(char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
    }
    // UTF-8 as RFC 3629 allows it: no overlong forms, no surrogates.
    bool utf8() {
        const auto b0 = static_cast<unsigned char>(s_[at_]);
        int n = 0;
        unsigned lo = 0x80;
        unsigned hi = 0xBF;
        if (b0 >= 0xC2 && b0 <= 0xDF) {
            n = 1;
        } else if (b0 >= 0xE0 && b0 <= 0xEF) {
            n = 2;
            lo = b0 == 0xE0 ? 0xA0 : 0x80;
            hi = b0 == 0xED ? 0x9F : 0xBF;
        } else if (b0 >= 0xF0 && b0 <= 0xF4) {
            n = 3;
            lo = b0 == 0xF0 ? 0x90 : 0x80;
            hi = b0 == 0xF4 ? 0x8F : 0xBF;
        } else {
            return false;
        }
        ++at_;
        for (int i = 0; i < n; ++i, ++at_) {
            if (!more())
                return false;
            const auto b = static_cast<unsigned char>(s_[at_]);
            if (b < (i == 0 ? lo : 0x80) || b > (i == 0 ? hi : 0xBF))
                return false;
        }
        return true;
    }
    bool string() {
        if (peek() != '"')
            return false;
        ++at_;
        while (more()) {
            const auto c = static_cast<unsigned char>(s_[at_]);
            if (c == '"')
                return ++at_, true;
            if (c < 0x20)
                return false;
            if (c == '\\') {
                ++at_;
                const char e = peek();
                if (e == 'u') {
                    for (int i = 1; i <= 4; ++i) {
                        if (at_ + static_cast<std::size_t>(i) >= s_.size() ||
                            !hex(s_[at_ + static_cast<std::size_t>(i)]))
                            return false;
                    }
                    at_ += 5;
                } else if (std::string_view("\"\\/bfnrt").find(e) != std::string_view::npos &&
                           e != '\0') {
                    ++at_;
                } else {
                    return false;
                }
            } else if (c >= 0x80) {
                if (!utf8())
                    return false;
            } else {
                ++at_;
            }
        }
        return false;
    }

    std::string_view s_;
    std::size_t at_ = 0;
};

inline bool valid_json(std::string_view text) {
    return JsonChecker(text).valid();
}

}  // namespace asftest
