#include "answers/seconds.hpp"

#include <charconv>

#include "asf/time_units.hpp"

namespace asfinspect::answers {

namespace {

using asf::kMillisecondsPerSecond;
using asf::kTicksPerMillisecond;

// In unsigned arithmetic, so that the most negative value has a magnitude.
std::uint64_t magnitude_of(std::int64_t v) {
    return v < 0 ? 0 - static_cast<std::uint64_t>(v) : static_cast<std::uint64_t>(v);
}

}  // namespace

SecondsText exact_seconds(std::uint64_t magnitude, decode::Unit unit, bool negative) {
    return io::exact_decimal(magnitude, unit == decode::Unit::milliseconds ? 3 : 7, negative);
}

SecondsText exact_seconds_of_ms(std::int64_t ms) {
    return exact_seconds(magnitude_of(ms), decode::Unit::milliseconds, ms < 0);
}

SecondsText exact_seconds_of_ticks(std::int64_t ticks) {
    return exact_seconds(magnitude_of(ticks), decode::Unit::hundred_nanoseconds, ticks < 0);
}

SecondsText seconds_for_people(std::int64_t ticks) {
    const std::uint64_t magnitude = magnitude_of(ticks);
    const std::uint64_t ms = magnitude / kTicksPerMillisecond +
                             (magnitude % kTicksPerMillisecond >= kTicksPerMillisecond / 2 ? 1 : 0);
    SecondsText t;
    char* p = t.chars.data();
    if (ticks < 0 && ms != 0)
        *p++ = '-';
    p = std::to_chars(p, t.chars.data() + t.chars.size(), ms / kMillisecondsPerSecond).ptr;
    const std::uint64_t fraction = ms % kMillisecondsPerSecond;
    *p++ = '.';
    *p++ = static_cast<char>('0' + fraction / 100);
    *p++ = static_cast<char>('0' + fraction / 10 % 10);
    *p++ = static_cast<char>('0' + fraction % 10);
    *p++ = ' ';
    *p++ = 's';
    t.size = static_cast<std::size_t>(p - t.chars.data());
    return t;
}

}  // namespace asfinspect::answers
