#pragma once

#include <cstdint>

#include "decode/view.hpp"
#include "io/decimal.hpp"

// Times as text: one form for machines, exact, and one for people, to the
// millisecond. Every output that writes a time writes it with these.
namespace asfinspect::answers {

// Seconds as text, made once to be written anywhere (a cell of a table, a
// JSON value).
using SecondsText = io::DecimalText;

// The one formatter of times for machines: a count of `unit` as exact
// seconds, 3100 ms as "3.1", 61460000 x 100 ns as "6.146", 0 as "0"; with a
// minus sign when `negative`.
SecondsText exact_seconds(std::uint64_t magnitude, decode::Unit unit, bool negative = false);
SecondsText exact_seconds_of_ms(std::int64_t ms);
SecondsText exact_seconds_of_ticks(std::int64_t ticks);

// The one formatter of times for people: 100 ns ticks to the millisecond,
// with the unit: "2.046 s", "-0.500 s".
SecondsText seconds_for_people(std::int64_t ticks);

}  // namespace asfinspect::answers
