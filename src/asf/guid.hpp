#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace asfinspect::asf {

// 16 bytes exactly as stored in the file: a little-endian 32-bit group, two
// little-endian 16-bit groups, then eight single bytes. Compared bytewise.
struct Guid {
    std::array<std::uint8_t, 16> bytes{};
    friend bool operator==(const Guid&, const Guid&) = default;
};

inline constexpr std::size_t kRegistryFormLength = 36;

namespace detail {
consteval std::uint8_t hex_digit(char c) {
    if (c >= '0' && c <= '9')
        return static_cast<std::uint8_t>(c - '0');
    if (c >= 'A' && c <= 'F')
        return static_cast<std::uint8_t>(c - 'A' + 10);
    throw "not an upper-case hexadecimal digit";
}
}  // namespace detail

// The stored bytes of a GUID written in registry form: the first three groups
// are little-endian numbers, the last two are bytes in the order written.
consteval Guid registry_guid(std::string_view text) {
    if (text.size() != kRegistryFormLength || text[8] != '-' || text[13] != '-' ||
        text[18] != '-' || text[23] != '-') {
        throw "not a GUID in registry form";
    }
    std::array<std::uint8_t, 16> written{};
    std::size_t n = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '-')
            continue;
        written[n / 2] =
            static_cast<std::uint8_t>(written[n / 2] << 4 | detail::hex_digit(text[i]));
        ++n;
    }
    Guid g;
    constexpr std::array<std::size_t, 8> kGroupOrder{3, 2, 1, 0, 5, 4, 7, 6};
    for (std::size_t i = 0; i < kGroupOrder.size(); ++i)
        g.bytes[i] = written[kGroupOrder[i]];
    for (std::size_t i = 8; i < 16; ++i)
        g.bytes[i] = written[i];
    return g;
}

// Registry form, upper case: 75B22630-668E-11CF-A6D9-00AA0062CE6C.
std::array<char, kRegistryFormLength> registry_form(const Guid& guid);

inline std::string_view as_view(const std::array<char, kRegistryFormLength>& text) {
    return {text.data(), text.size()};
}

}  // namespace asfinspect::asf
