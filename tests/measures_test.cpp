// The measures of the answers as plain functions: a player's time, a
// bitrate, the header's sentinels, where a stream's last media object ends,
// and the busiest window, which is never below the average.

#include "answers/measures.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

namespace {

using namespace asfinspect::answers;
using asfinspect::decode::MediaObject;
using asfinspect::decode::StreamFacts;
using asfinspect::decode::StreamKind;

constexpr std::int64_t kMs = kTicksPerMillisecond;
constexpr std::uint64_t kMost64 = std::numeric_limits<std::uint64_t>::max();
constexpr std::int64_t kMostSigned = std::numeric_limits<std::int64_t>::max();

TEST(Measures, PlayerTimeTakesThePrerollOffAndSaturates) {
    struct Case {
        std::uint64_t stored, preroll;
        std::int64_t shown;
    };
    const Case cases[] = {
        {3100, 3100, 0},           {3146, 3100, 46},
        {2600, 3100, -500},        {0, kMost64, -kMostSigned},  // a preroll past 2^63 ms
        {kMost64, 0, kMostSigned},
    };
    for (const Case& c : cases)
        EXPECT_EQ(player_time(c.stored, c.preroll), c.shown) << c.stored << " " << c.preroll;
    EXPECT_EQ(ticks_of_ms(-kMostSigned), std::numeric_limits<std::int64_t>::min());
}

TEST(Measures, BitrateIsBytesOverTimeRoundedAndNoneOverNoTime) {
    EXPECT_EQ(bitrate(16'000, kTicksPerSecond), 128'000u);
    EXPECT_EQ(bitrate(1, 3 * kTicksPerSecond), 3u);  // 2.67 rounds up
    EXPECT_EQ(bitrate(100, 0), std::nullopt);
    EXPECT_EQ(bitrate(100, -5), std::nullopt);
    EXPECT_EQ(bitrate(kMost64, 1), kMost64);
}

TEST(Measures, MaximumBitrateZeroOrAllOnesIsNotDeclared) {
    asfinspect::decode::FilePropertiesFacts fp;
    fp.present = true;
    for (const std::uint32_t unknown : {0u, 0xFFFFFFFFu}) {
        fp.maximum_bitrate = unknown;
        EXPECT_EQ(declared_maximum_bitrate(fp), std::nullopt) << unknown;
    }
    fp.maximum_bitrate = 160'000;
    EXPECT_EQ(declared_maximum_bitrate(fp), 160'000u);
    // Play Duration includes the preroll, which may exceed it.
    fp.play_duration = 61'460'000;
    fp.preroll = 3100;
    EXPECT_EQ(declared_duration(fp), 30'460'000u);
    fp.preroll = 7000;
    EXPECT_EQ(declared_duration(fp), 0u);
    fp.flags = asfinspect::decode::FilePropertiesFacts::kBroadcast;
    EXPECT_EQ(declared_duration(fp), std::nullopt);
}

// Objects: (presentation time ms, size, Sample Duration ms).
struct Object {
    std::uint32_t time, size;
    std::uint16_t duration = 0;
};

TEST(Measures, TheLastObjectEndsWhereTheFileSaysElseAfterTheUsualSpacing) {
    StreamFacts video;
    video.kind = StreamKind::video;
    StreamFacts video_timed = video;
    video_timed.extended = true;
    video_timed.extended_properties.average_time_per_frame = 400'000;  // 40 ms
    StreamFacts video_unset = video_timed;
    video_unset.extended_properties.average_time_per_frame = 0x1999999999999999;
    StreamFacts audio;
    audio.kind = StreamKind::audio;
    StreamFacts audio_timed = audio;
    audio_timed.extended = true;
    audio_timed.extended_properties.average_time_per_frame = 400'000;
    struct Case {
        std::string name;
        const StreamFacts& stream;
        std::vector<Object> objects;
        std::int64_t end_ms;
    };
    const Case cases[] = {
        {"usual spacing", video, {{0, 9}, {100, 9}, {200, 9}, {250, 9}, {350, 9}}, 450},
        {"the Sample Duration of the last", video, {{0, 9, 100}, {100, 9, 30}}, 130},
        {"a video frame's Average Time Per Frame", video_timed, {{0, 9}, {100, 9}}, 140},
        {"not set: the spacing", video_unset, {{0, 9}, {100, 9}}, 200},
        {"audio takes no frame time", audio_timed, {{0, 9}, {100, 9}}, 200},
        {"a short last audio object, its share", audio, {{0, 2048}, {128, 2048}, {256, 1280}}, 336},
        {"B-frames out of order", video, {{0, 9}, {120, 9}, {40, 9}, {80, 9}, {240, 9}}, 280},
        {"one object lasts nothing measured", video, {{500, 9}}, 500},
    };
    for (const Case& c : cases) {
        StreamMeasure m;
        for (const Object& o : c.objects) {
            MediaObject object;
            object.presentation_time = o.time;
            object.size = o.size;
            object.duration = o.duration;
            m.add(object);
        }
        EXPECT_EQ(m.end(c.stream), c.end_ms * kMs) << c.name;
    }
}

// Bytes at times (ms): the busiest window over [first, end).
TEST(Measures, TheBusiestWindowIsNeverBelowTheAverage) {
    struct Case {
        std::string name;
        std::vector<std::pair<std::int64_t, std::uint64_t>> bytes;
        std::int64_t first_ms, end_ms;
        std::uint64_t busiest;
    };
    const Case cases[] = {
        {"shorter than a window: the average", {{0, 500}, {400, 500}}, 0, 800, 10'000},
        {"even bytes: the average", {{0, 100}, {1000, 100}, {2000, 100}}, 0, 3000, 800},
        {"a burst", {{0, 100}, {1000, 1000}, {2000, 100}, {3000, 100}}, 0, 4000, 8000},
        // Bytes at both ends of 1.5 s: each half-window edge over its length.
        {"edges over their own length", {{0, 500}, {1490, 500}}, 0, 1500, 8000},
        // A last piece of 0.2 s joins the window before it.
        {"a short edge joins its neighbour", {{0, 100}, {1000, 100}, {2100, 300}}, 0, 2200, 2667},
        // The first window holds half a second of the span.
        {"inside the preroll", {{-1500, 100}, {-500, 100}}, -1500, 500, 1600},
    };
    for (const Case& c : cases) {
        BusiestWindow w;
        std::uint64_t total = 0;
        for (const auto& [ms, n] : c.bytes) {
            w.add(ms * kMs, n);
            total += n;
        }
        const auto busiest = w.busiest(c.first_ms * kMs, c.end_ms * kMs);
        ASSERT_TRUE(busiest.has_value()) << c.name;
        EXPECT_EQ(*busiest, c.busiest) << c.name;
        EXPECT_GE(*busiest, *bitrate(total, (c.end_ms - c.first_ms) * kMs)) << c.name;
    }
}

// Settled windows are folded as the bytes go on, with the same answer as
// when all are held.
TEST(Measures, SettledWindowsGiveTheSameBusiest) {
    BusiestWindow held, settled;
    for (std::int64_t s = 0; s < 100; ++s) {
        const std::uint64_t bytes = s == 40 ? 9000 : 1000 + static_cast<std::uint64_t>(s);
        held.add(s * kTicksPerSecond + 5 * kMs, bytes);
        settled.add(s * kTicksPerSecond + 5 * kMs, bytes);
        settled.settle_below(BusiestWindow::window_of((s - 3) * kTicksPerSecond));
    }
    for (const std::int64_t end : {100'000, 100'300, 99'900}) {
        EXPECT_EQ(held.busiest(0, end * kMs), settled.busiest(0, end * kMs)) << end;
    }
    EXPECT_EQ(held.busiest(0, 100'000 * kMs), 72'000u);
}

}  // namespace
