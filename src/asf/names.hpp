#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace asfinspect::asf {

// One named bit (or group of bits) of a flags field.
struct FlagName {
    std::uint64_t mask;
    std::string_view name;
};
using FlagNames = std::span<const FlagName>;

// One named value of an enumerated field.
struct EnumName {
    std::uint64_t value;
    std::string_view name;
};
using EnumNames = std::span<const EnumName>;

// The name of an enumerated value, or "" when it has none.
constexpr std::string_view name_of(std::uint64_t v, EnumNames names) {
    for (const EnumName& n : names) {
        if (n.value == v)
            return n.name;
    }
    return {};
}

}  // namespace asfinspect::asf
