#pragma once

#include <bitset>
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

inline constexpr std::size_t kStreamNumbers = 128;  // 7 bits; 0 is invalid
// A set of stream numbers.
using StreamSet = std::bitset<kStreamNumbers>;

// Presentation times as a player shows them (the preroll subtracted), in
// milliseconds, both ends included.
struct TimeRange {
    static constexpr std::uint64_t kOpenEnd = std::numeric_limits<std::uint64_t>::max();

    std::uint64_t first = 0;
    std::uint64_t last = kOpenEnd;

    bool contains(std::uint64_t ms) const { return ms >= first && ms <= last; }
};

// What a run decodes and shows: the packets by index, and of the media
// objects those of some streams, presented within a time range.
struct Selection {
    PacketRange packets = PacketRange::all();
    StreamSet streams = StreamSet().set();
    std::optional<TimeRange> time;

    bool all_streams() const { return streams.all(); }
    // Every packet is decoded, in order.
    bool whole() const { return packets.is_all() && !time; }
};

// Parses SPEC as the --packets option takes it; nullopt when it is malformed.
std::optional<PacketRange> parse_packet_range(std::string_view spec);

// "1,2,5": stream numbers from 1 to 127; nullopt when malformed.
std::optional<StreamSet> parse_stream_list(std::string_view list);
// The most milliseconds a time or a length given in seconds may hold: what
// a signed 64-bit count holds.
inline constexpr std::uint64_t kMaxMilliseconds = std::numeric_limits<std::int64_t>::max();
// Seconds with up to three decimals kept, as milliseconds: "12.5" is 12500;
// nullopt when malformed or above kMaxMilliseconds.
std::optional<std::uint64_t> parse_seconds(std::string_view text);
// "12.5-20", "12.5-" or "-20": seconds (at most three decimals are kept);
// nullopt when malformed or when the end comes before the start.
std::optional<TimeRange> parse_time_range(std::string_view spec);

}  // namespace asfinspect::decode
