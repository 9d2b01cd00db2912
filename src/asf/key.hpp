#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace asfinspect::asf {

// A field's name as ASF writes it ("Data Packets Count") and the same words
// as one identifier in snake_case ("data_packets_count"), for the formats
// that need a key without spaces; the identifier is made when the program is
// compiled. The format's tables name fields with it (the parts of a flags
// field, the fields of a codec's data), so that every view takes the same
// names from them.
class Key {
  public:
    static constexpr std::size_t kMaxIdentifierLength = 47;

    consteval Key(const char* label) : label_(label) {
        bool gap = false;
        for (const char c : label_) {
            const bool lower = c >= 'a' && c <= 'z';
            const bool upper = c >= 'A' && c <= 'Z';
            const bool digit = c >= '0' && c <= '9';
            if (!lower && !upper && !digit) {
                gap = length_ > 0;
                continue;
            }
            if (gap)
                push('_');
            gap = false;
            push(upper ? static_cast<char>(c - 'A' + 'a') : c);
        }
        if (length_ == 0)
            throw "a key needs a letter or a digit";
    }

    constexpr std::string_view label() const { return label_; }
    constexpr std::string_view identifier() const { return {identifier_.data(), length_}; }
    // The identifier's storage, of kMaxIdentifierLength characters whatever
    // its length: a writer may copy it whole, which compiles to a few moves.
    constexpr const std::array<char, kMaxIdentifierLength>& storage() const { return identifier_; }

  private:
    consteval void push(char c) {
        if (length_ == kMaxIdentifierLength)
            throw "field name too long for a key";
        identifier_[length_++] = c;
    }

    std::string_view label_;
    std::array<char, kMaxIdentifierLength> identifier_{};
    std::uint8_t length_ = 0;
};

}  // namespace asfinspect::asf
