#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace asfinspect::io {

// A number as text, made once to be written anywhere (a cell of a table, a
// JSON value).
struct DecimalText {
    std::array<char, 32> chars{};
    std::size_t size = 0;
    std::string_view view() const { return {chars.data(), size}; }
};

// `units` of 10^-`decimals` (at most 9) as an exact decimal number, without
// trailing zeros: 3100 at 3 decimals is "3.1", 0 is "0"; with a minus sign
// when `negative`.
DecimalText exact_decimal(std::uint64_t units, int decimals, bool negative = false);

}  // namespace asfinspect::io
