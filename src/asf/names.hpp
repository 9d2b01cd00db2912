#pragma once

#include <bit>
#include <cstdint>
#include <span>
#include <string_view>

#include "asf/key.hpp"

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

// One part of a flags field whose bits hold several values: a single bit,
// which is yes or no, or a group of bits, which holds a number, shown by its
// name when `values` names it.
struct FlagPart {
    Key name;
    std::uint64_t mask;  // its bits, adjacent
    EnumNames values = {};

    constexpr bool single_bit() const { return std::has_single_bit(mask); }
    constexpr std::uint64_t of(std::uint64_t flags) const {
        return (flags & mask) >> std::countr_zero(mask);
    }
};
using FlagParts = std::span<const FlagPart>;

// Values that ASF or encoders write into a field for "no value", each with
// what it means there ("not set", "no entry"): a table of them for each such
// field.
using Sentinels = EnumNames;

}  // namespace asfinspect::asf
