#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace asfinspect::decode {

// A field's name as ASF writes it ("Data Packets Count") and its JSON key,
// the snake_case of the same words ("data_packets_count"), both made when the
// program is compiled; also the key as a JSON member starts,
// "data_packets_count": with its quotes and colon, written in one piece.
class Key {
  public:
    static constexpr std::size_t kMaxJsonLength = 47;

    consteval Key(const char* label) : label_(label) {
        member_[0] = '"';
        bool gap = false;
        for (const char c : label_) {
            const bool lower = c >= 'a' && c <= 'z';
            const bool upper = c >= 'A' && c <= 'Z';
            const bool digit = c >= '0' && c <= '9';
            if (!lower && !upper && !digit) {
                gap = json_length_ > 0;
                continue;
            }
            if (gap)
                push('_');
            gap = false;
            push(upper ? static_cast<char>(c - 'A' + 'a') : c);
        }
        if (json_length_ == 0)
            throw "a key needs a letter or a digit";
        member_[1 + json_length_] = '"';
        member_[2 + json_length_] = ':';
    }

    constexpr std::string_view label() const { return label_; }
    constexpr std::string_view json() const { return {member_.data() + 1, json_length_}; }
    constexpr std::string_view json_member() const {
        return {member_.data(), json_length_ + std::size_t{3}};
    }

  private:
    consteval void push(char c) {
        if (json_length_ == kMaxJsonLength)
            throw "field name too long for a key";
        member_[1 + json_length_++] = c;
    }

    std::string_view label_;
    std::array<char, kMaxJsonLength + 3> member_{};
    std::uint8_t json_length_ = 0;
};

}  // namespace asfinspect::decode
