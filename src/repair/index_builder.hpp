#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "asf/time_units.hpp"
#include "decode/facts.hpp"

// The entries of a Simple Index Object, built from the key frames of a video
// stream as they end: entry i stands for the time i intervals after the
// preroll, and points at the last key frame presented by then (the first
// key frame, for the times before it). Entries are kept as runs of the same
// entry, so an index over hours of sparse key frames takes a few runs.
namespace asfinspect::repair {

using asf::kTicksPerMillisecond;
// One second, in 100 ns: the interval of an index made where the file had none.
inline constexpr std::uint64_t kDefaultIndexInterval = asf::kTicksPerSecond;

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

// An entry of an Index Object with no packet for its specifier.
inline constexpr std::uint64_t kNoOffset = ~std::uint64_t{0};

// The entries of a builder, one after the other.
class EntryCursor {
  public:
    explicit EntryCursor(const std::vector<IndexRun>& runs) : runs_(runs) {}
    IndexEntry next();
    // The entry next() gives, and how many times in a row it gives it.
    IndexEntry peek();
    std::uint64_t repeats();
    void skip(std::uint64_t n);

  private:
    void pass_used_runs();

    const std::vector<IndexRun>& runs_;
    std::size_t run_ = 0;
    std::uint64_t used_ = 0;
};

// An Index Object's block: its entries and, for each specifier, the offset
// from the first packet that its entries' offsets count from.
struct IndexBlock {
    std::uint64_t entries = 0;
    std::vector<std::uint64_t> positions;
};

// An Index Object with the specifiers and interval of the file's Index
// Parameters Object, built as the Simple Index is: per specifier from the
// key frames of its stream (Nearest Past Cleanpoint, when the stream marks
// key frames) or from all its media objects.
class IndexObjectBuilder {
  public:
    IndexObjectBuilder(std::uint32_t interval_ms,
                       const std::vector<decode::IndexSpecifierFacts>& specifiers,
                       std::uint64_t preroll_ms);

    void media_object(std::uint8_t stream, std::uint32_t time, std::uint64_t first,
                      std::uint64_t last, bool key_frame);
    // Entries up to `count` (at least), then the blocks, whose offsets must
    // fit 32 bits: packets of `packet_size` bytes.
    void finish(std::uint64_t count, const std::array<bool, decode::kStreamNumbers>& marks_keys,
                std::uint32_t packet_size);

    std::uint32_t interval() const { return interval_; }
    std::uint32_t packet_size() const { return packet_size_; }
    const std::vector<decode::IndexSpecifierFacts>& specifiers() const { return specifiers_; }
    const std::vector<IndexBlock>& blocks() const { return blocks_; }
    std::uint64_t entries() const { return entries_; }
    // The entries of each specifier, in the order of the specifiers.
    std::vector<EntryCursor> cursors() const;
    std::int64_t size() const;

  private:
    std::uint32_t interval_;
    std::vector<decode::IndexSpecifierFacts> specifiers_;
    std::vector<SimpleIndexBuilder> key_frames_;
    std::vector<SimpleIndexBuilder> objects_;
    std::vector<const SimpleIndexBuilder*> chosen_;
    std::vector<IndexBlock> blocks_;
    std::uint64_t entries_ = 0;
    std::uint32_t packet_size_ = 0;
};

}  // namespace asfinspect::repair
