#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "asf/time_units.hpp"
#include "decode/facts.hpp"
#include "decode/view.hpp"

// The measures the answers give, each computed by one function here: a
// player's time, a bitrate, a stream's span and duration, the busiest
// window. Times the answers measure are in 100 ns ticks, as ASF keeps its
// durations; ASF stores presentation and send times in milliseconds.
namespace asfinspect::answers {

// ASF's units, signed for the differences of times the answers take.
inline constexpr auto kTicksPerMillisecond = static_cast<std::int64_t>(asf::kTicksPerMillisecond);
inline constexpr auto kTicksPerSecond = static_cast<std::int64_t>(asf::kTicksPerSecond);

// Milliseconds as ticks, saturating.
std::int64_t ticks_of_ms(std::int64_t ms);

// A time as a player shows it: a time as ASF stores it (ms, the preroll
// included) less the preroll; negative inside the preroll, saturating.
std::int64_t player_time(std::uint64_t stored_ms, std::uint64_t preroll_ms);

// Bits per second of `bytes` over `ticks`, rounded to the nearest; none over
// no time.
std::optional<std::uint64_t> bitrate(std::uint64_t bytes, std::int64_t ticks);

// The duration the header declares: Play Duration less the preroll, at
// least 0; none for a broadcast file or one without File Properties.
std::optional<std::uint64_t> declared_duration(const decode::FilePropertiesFacts& fp);

// The Maximum Bitrate as declared; none for 0 and 0xFFFFFFFF, which writers
// put there when they don't know it.
std::optional<std::uint32_t> declared_maximum_bitrate(const decode::FilePropertiesFacts& fp);

// An Average Time Per Frame that can be a video frame's: above 0 and at most
// kLongestFrame. Encoders fill the field of audio streams with values such
// as 2^64 / 10 that are none.
bool plausible_frame_time(std::uint64_t ticks);
inline constexpr std::uint64_t kLongestFrame = 10 * kTicksPerSecond;

// Video frames per second: `frames` media objects over `ticks`; none over
// no time or for fewer than two frames.
std::optional<double> frame_rate(std::uint64_t frames, std::int64_t ticks);

// The frame rate an Average Time Per Frame (ticks) declares, where it is
// plausible.
std::optional<double> declared_frame_rate(std::uint64_t average_time_per_frame);

// A share of a whole, 0 to 1; none of nothing.
std::optional<double> share(std::uint64_t part, std::uint64_t whole);

// Whether a stream is sent at a constant or a variable bitrate.
enum class BitrateMode : std::uint8_t { constant, variable };

// The mode a codec description states: Windows Media encoders end it with
// "1-pass CBR", "2-pass VBR" or "Quality-based VBR". None where it names
// neither, or both.
std::optional<BitrateMode> bitrate_mode_of_description(std::string_view description);

// The length of the plots' bins, ms: a whole number of the usual spacing of
// packets (`spacing`, 0 when unknown), so that a stream sent at a constant
// rate has the same bytes in every bin, and no more than `bins` of them over
// `span`; without a spacing, span / bins and at least `shortest`.
std::uint64_t bin_length(std::uint64_t spacing, std::optional<std::uint64_t> span, std::size_t bins,
                         std::uint64_t shortest);

// The most frequent of a series of values (the gaps between a stream's
// presentation times, the sizes of its objects), counted over a bounded
// table: the space-saving count, where a value not in a full table takes the
// place of the least counted.
class MostFrequent {
  public:
    void add(std::uint32_t value);
    // 0 when none was seen; of values counted as often, the smaller.
    std::uint32_t most_frequent() const;

  private:
    struct Slot {
        std::uint32_t value = 0;
        std::uint64_t count = 0;
    };
    static constexpr std::size_t kSlots = 16;
    std::array<Slot, kSlots> slots_{};
    std::size_t used_ = 0;
};

// The busiest window of a series of bytes at times: [first, end) cut into
// windows of kWindow on boundaries of it, each piece at an edge over its own
// length (and merged into its neighbour when shorter than half a window), so
// that the busiest is never below the average over [first, end); a series
// shorter than a window is its average. Memory stays flat: windows that no
// later byte can reach are folded into the highest as they settle, but for
// the first two and the last two, which the edges may need.
class BusiestWindow {
  public:
    static constexpr std::int64_t kWindow = kTicksPerSecond;

    // The window that holds `ticks`.
    static std::int64_t window_of(std::int64_t ticks);

    void add(std::int64_t ticks, std::uint64_t bytes);
    // No byte will come before window `index`.
    void settle_below(std::int64_t index);
    // Bits per second over the busiest window of [first, end).
    std::optional<std::uint64_t> busiest(std::int64_t first, std::int64_t end) const;

  private:
    using Window = std::pair<std::int64_t, std::uint64_t>;  // index, bytes

    std::uint64_t bytes_of(std::int64_t index) const;

    std::map<std::int64_t, std::uint64_t> open_;
    std::vector<Window> head_;  // the first two settled
    std::vector<Window> tail_;  // the last two settled
    std::uint64_t folded_most_ = 0;
    std::uint64_t total_ = 0;
};

// One stream's media objects, measured as they come.
class StreamMeasure {
  public:
    void add(const decode::MediaObject& m);

    std::uint64_t objects() const { return objects_; }
    std::uint64_t key_frames() const { return key_frames_; }
    std::uint64_t bytes() const { return bytes_; }
    // Presentation times as ASF stores them, ms.
    std::uint32_t first() const { return first_; }
    std::uint32_t last() const { return last_; }
    std::uint32_t longest_key_interval() const { return longest_key_interval_; }
    std::uint32_t usual_spacing() const { return spacing_.most_frequent(); }

    // Where the last object ends, ticks as ASF stores times: where the file
    // states its length (the Sample Duration payload extension, or a video
    // stream's plausible Average Time Per Frame), else after the stream's
    // usual spacing; for audio, whose objects of the usual size each hold
    // that span, a smaller last object holds its share of it.
    std::int64_t end(const decode::StreamFacts& stream) const;

  private:
    std::uint64_t objects_ = 0;
    std::uint64_t key_frames_ = 0;
    std::uint64_t bytes_ = 0;
    std::uint32_t first_ = 0;
    std::uint32_t last_ = 0;
    std::uint32_t last_duration_ = 0;  // the Sample Duration of the object at `last_`
    std::uint32_t last_size_ = 0;      // of the object at `last_`
    std::uint32_t previous_ = 0;       // the time of the object before
    std::uint32_t last_key_ = 0;
    std::uint32_t longest_key_interval_ = 0;
    MostFrequent spacing_;
    MostFrequent sizes_;
};

}  // namespace asfinspect::answers
