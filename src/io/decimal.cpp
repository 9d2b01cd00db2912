#include "io/decimal.hpp"

#include <charconv>

namespace asfinspect::io {

DecimalText exact_decimal(std::uint64_t units, int decimals, bool negative) {
    std::uint64_t scale = 1;
    for (int i = 0; i < decimals && i < 9; ++i)
        scale *= 10;
    DecimalText t;
    char* p = t.chars.data();
    char* const end = p + t.chars.size();
    if (negative && units != 0)
        *p++ = '-';
    p = std::to_chars(p, end, units / scale).ptr;
    std::uint64_t fraction = units % scale;
    if (fraction != 0) {
        int digits = decimals;
        // Trailing zeros are left out: 3.100 is "3.1".
        while (fraction % 10 == 0) {
            fraction /= 10;
            --digits;
        }
        *p++ = '.';
        for (int i = digits - 1; i >= 0; --i) {
            p[i] = static_cast<char>('0' + fraction % 10);
            fraction /= 10;
        }
        p += digits;
    }
    t.size = static_cast<std::size_t>(p - t.chars.data());
    return t;
}

}  // namespace asfinspect::io
