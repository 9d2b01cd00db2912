#pragma once

#include <cstdint>
#include <limits>
#include <optional>
#include <string_view>

namespace asfinspect::decode {

// Which data packets to decode, by index from 0: all, none, N, N-M or N-.
struct PacketRange {
    static constexpr std::uint64_t kOpenEnd = std::numeric_limits<std::uint64_t>::max();

    std::uint64_t first = 0;
    std::uint64_t last = kOpenEnd;  // inclusive
    bool empty = false;

    static PacketRange all() { return {}; }
    static PacketRange none() { return {0, 0, true}; }

    bool is_all() const { return !empty && first == 0 && last == kOpenEnd; }
    bool contains(std::uint64_t k) const { return !empty && k >= first && k <= last; }
    // The indexes [begin, end) of the range that lie below `count`.
    std::uint64_t begin_below(std::uint64_t count) const {
        return empty ? count : (first < count ? first : count);
    }
    std::uint64_t end_below(std::uint64_t count) const {
        if (empty || first >= count)
            return begin_below(count);
        return last < count ? last + 1 : count;
    }
};

// Parses SPEC as the --packets option takes it; nullopt when it is malformed.
std::optional<PacketRange> parse_packet_range(std::string_view spec);

}  // namespace asfinspect::decode
