#pragma once

#include <cstdint>

// ASF counts durations, file times and index intervals in 100 ns ticks, and
// presentation times, send times and the preroll in milliseconds.
namespace asfinspect::asf {

inline constexpr std::uint64_t kTicksPerMillisecond = 10'000;
inline constexpr std::uint64_t kMillisecondsPerSecond = 1'000;
inline constexpr std::uint64_t kTicksPerSecond = kTicksPerMillisecond * kMillisecondsPerSecond;

}  // namespace asfinspect::asf
