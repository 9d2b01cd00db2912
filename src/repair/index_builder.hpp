#pragma once

#include <cstdint>
#include <vector>

// The entries of a Simple Index Object, built from the key frames of a video
// stream as they end: entry i stands for the time i intervals after the
// preroll, and points at the last key frame presented by then (the first
// key frame, for the times before it). Entries are kept as runs of the same
// entry, so an index over hours of sparse key frames takes a few runs.
namespace asfinspect::repair {

inline constexpr std::uint64_t kTicksPerMillisecond = 10'000;
// One second, in 100 ns: the interval of an index made where the file had none.
inline constexpr std::uint64_t kDefaultIndexInterval = 10'000'000;

struct IndexEntry {
    std::uint32_t packet = 0;
    std::uint16_t packets = 0;  // the key frame's packets; 0: no key frame to point at
    friend bool operator==(const IndexEntry&, const IndexEntry&) = default;
};

struct IndexRun {
    IndexEntry entry;
    std::uint64_t repeat = 0;
};

class SimpleIndexBuilder {
  public:
    SimpleIndexBuilder(std::uint8_t stream, std::uint64_t interval, std::uint64_t preroll_ms)
        : stream_(stream),
          interval_(interval == 0 ? kDefaultIndexInterval : interval),
          preroll_(preroll_ms) {}

    // A key frame presented at `time` (ms as ASF stores it, the preroll
    // included) in packets [first, last]. Key frames presented earlier than
    // one before are left out: the entries only go forward.
    void key_frame(std::uint32_t time, std::uint64_t first, std::uint64_t last);
    // Entries up to `count`, the last key frame repeated.
    void finish(std::uint64_t count);

    std::uint8_t stream() const { return stream_; }
    std::uint64_t interval() const { return interval_; }
    std::uint64_t entries() const { return entries_; }
    std::uint16_t maximum_packets() const { return maximum_; }
    const std::vector<IndexRun>& runs() const { return runs_; }

  private:
    void push(IndexEntry e, std::uint64_t n);

    std::uint8_t stream_;
    std::uint64_t interval_;  // 100 ns
    std::uint64_t preroll_;
    bool have_ = false;
    IndexEntry current_;
    std::uint64_t current_time_ = 0;  // 100 ns after the preroll
    std::uint64_t entries_ = 0;
    std::uint16_t maximum_ = 0;
    std::vector<IndexRun> runs_;
};

// The Index Entries Count is 32 bits.
inline constexpr std::uint64_t kMaxIndexEntries = 0xFFFFFFFF;

}  // namespace asfinspect::repair
