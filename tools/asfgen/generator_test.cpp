#include "asfgen/generator.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <string_view>

#include "app/driver.hpp"
#include "asf_writer.hpp"
#include "decode_helpers.hpp"
#include "io/file_reader.hpp"
#include "io/le.hpp"
#include "io/output.hpp"

namespace {

using asfinspect::io::le16;
using asfinspect::io::le32;
using asfinspect::io::le64;
using asftest::Bytes;
using asftest::count_of;
using asftest::dump;

Bytes generate(std::uint64_t size, std::uint32_t packet_size = asfgen::kDefaultPacketSize) {
    const auto layout = asfgen::plan_file(size, packet_size);
    EXPECT_TRUE(layout.has_value());
    asfgen::MemorySink sink;
    asfgen::generate(*layout, sink);
    return sink.bytes();
}

// What a packet walk found, counted independently of the dump.
struct PacketTally {
    std::uint64_t packets = 0;
    std::uint64_t single = 0;
    std::uint64_t grouped = 0;
    std::uint64_t padded = 0;
    std::uint64_t streams_seen[3] = {};
};

// Walks every packet by the lengths it declares and checks that the payloads
// and the padding fill it exactly.
void walk_packets(const Bytes& file, std::uint64_t first, std::uint64_t packets, std::uint32_t size,
                  PacketTally& t) {
    for (std::uint64_t i = 0; i < packets; ++i) {
        const std::span<const std::uint8_t> p(file.data() + first + i * size, size);
        EXPECT_EQ(p[0], 0x82);
        EXPECT_EQ(p[3], 0x11);  // padding word, multiple payloads
        EXPECT_EQ(p[4], 0x5d);
        const std::uint16_t padding = le16(p, 5);
        const std::uint8_t flags = p[13];
        EXPECT_EQ(flags & 0xc0, 0x80);
        std::size_t at = 14;
        for (int k = 0; k < (flags & 0x3f); ++k) {
            const std::uint8_t stream = p[at] & 0x7f;
            ASSERT_TRUE(stream == 1 || stream == 2);
            ++t.streams_seen[stream];
            const std::uint8_t replicated = p[at + 6];
            if (replicated == 8) {
                ++t.single;
                at += 17 + le16(p, at + 15);
            } else {
                ASSERT_EQ(replicated, 1);
                ++t.grouped;
                const std::uint16_t total = le16(p, at + 8);
                std::size_t sub = at + 10;
                while (sub < at + 10 + total)
                    sub += 1 + p[sub];
                EXPECT_EQ(sub, at + 10 + total);
                at = sub;
            }
            ASSERT_LE(at, size);
        }
        EXPECT_EQ(at + padding, size) << "packet " << i;
        t.padded += padding > 0;
        ++t.packets;
    }
}

// The dump's warning lines. (The Header Extension Object is listed as an
// "Unknown GUID": the dump doesn't name it, and that is no warning.)
constexpr std::string_view kWarnings[] = {
    "UNKNOWN LFLAGS", "Unknown segsize", "overruns",    "Truncated",      "Unexpected end",
    "Illegal length", "YS packet",       "( Unknown )", "Unknown stream", "Unknown uid_conceal",
};

TEST(Generator, PacketsAreFilledExactlyAndMixPayloadKinds) {
    const auto layout = asfgen::plan_file(2'000'000);
    ASSERT_TRUE(layout);
    const Bytes file = generate(2'000'000);
    ASSERT_EQ(file.size(), layout->file_size);
    PacketTally t;
    walk_packets(file, layout->first_packet_offset, layout->packets, layout->packet_size, t);
    EXPECT_EQ(t.packets, layout->packets);
    EXPECT_GT(t.single, t.packets);  // video fragments and some audio
    EXPECT_GT(t.grouped, t.packets / 4);
    EXPECT_GT(t.padded, t.packets / 2);
    EXPECT_GT(t.streams_seen[1], 0u);
    EXPECT_GT(t.streams_seen[2], 0u);
}

TEST(Generator, DumpsWithoutWarningsAndAgreesOnCountsAndSizes) {
    for (const std::uint32_t packet_size :
         {asfgen::kMinPacketSize, 3200u, asfgen::kMaxPacketSize}) {
        SCOPED_TRACE(packet_size);
        const auto layout = asfgen::plan_file(3'000'000, packet_size);
        ASSERT_TRUE(layout);
        const std::string text = dump(generate(3'000'000, packet_size));
        for (const auto warning : kWarnings)
            EXPECT_EQ(count_of(text, warning), 0u) << warning;
        EXPECT_EQ(count_of(text, " Dumping packet at offset "), layout->packets);
        EXPECT_NE(text.find("Number of packets: "), std::string::npos);
        EXPECT_NE(text.find("First data packet: offset " +
                            std::to_string(layout->first_packet_offset) + "\n"),
                  std::string::npos);
        EXPECT_NE(text.find(" Audio stream\n"), std::string::npos);
        EXPECT_NE(text.find(" Interleave data concealment\n"), std::string::npos);
        EXPECT_NE(text.find(" Video stream\n"), std::string::npos);
        EXPECT_NE(text.find(" fourcc WMV2\n"), std::string::npos);
        EXPECT_GT(count_of(text, "( Multiple fragments )"), 0u);
        EXPECT_GT(count_of(text, "( Single fragment )"), 0u);
        EXPECT_GT(count_of(text, "Key frame\n"), 0u);
        EXPECT_GT(count_of(text, "Padding size [word] "), 0u);
    }
}

// The complete decoder finds nothing to report, whichever way the last
// packets fall: a video frame near the end must still end within the data.
TEST(Generator, ChecksWithoutFindings) {
    for (const std::uint32_t packet_size :
         {asfgen::kMinPacketSize, 3200u, 9001u, asfgen::kMaxPacketSize}) {
        for (const std::uint64_t packets : {1, 2, 3, 5, 8, 13, 21, 34, 55, 89}) {
            const Bytes file = generate(1000 + packets * packet_size, packet_size);
            EXPECT_EQ(asftest::codes_of(file), std::vector<std::string>{})
                << packet_size << "-byte packets:\n"
                << asftest::check_of(file);
        }
    }
}

TEST(Generator, HeaderDescribesTheFile) {
    const auto layout = asfgen::plan_file(1'000'000);
    ASSERT_TRUE(layout);
    const Bytes file = generate(1'000'000);
    const std::span<const std::uint8_t> b(file);
    const std::uint64_t header_size = le64(b, 16);
    EXPECT_EQ(header_size, layout->header_object_size);
    // File properties: the first child of the header object.
    const std::size_t props = 30 + 24;
    EXPECT_EQ(le64(b, props + 16), file.size());
    EXPECT_EQ(le64(b, props + 32), layout->packets);
    EXPECT_GT(le64(b, props + 40), le64(b, props + 56) * 10'000);  // play duration > preroll
    EXPECT_GT(le64(b, props + 48), 0u);                            // send duration
    EXPECT_EQ(le32(b, props + 68), layout->packet_size);
    EXPECT_EQ(le32(b, props + 72), layout->packet_size);
    // Data object: its size covers its 50 header bytes and every packet.
    EXPECT_EQ(le64(b, header_size + 16), 50 + layout->packets * layout->packet_size);
    EXPECT_EQ(le64(b, header_size + 40), layout->packets);
    EXPECT_EQ(header_size + 50, layout->first_packet_offset);
}

TEST(Generator, SameLayoutGivesTheSameBytes) {
    EXPECT_EQ(generate(500'000), generate(500'000));
    EXPECT_NE(generate(500'000, 1000), generate(500'000, 1001));
}

TEST(GeneratorPlan, RoundsDownToWholePacketsAndRejectsWhatCannotHoldOne) {
    const auto layout = asfgen::plan_file(1'000'000, 3200);
    ASSERT_TRUE(layout);
    EXPECT_LE(layout->file_size, 1'000'000u);
    EXPECT_GT(layout->file_size + 3200, 1'000'000u);
    EXPECT_EQ(layout->file_size, layout->first_packet_offset + layout->packets * 3200);

    const auto exact = asfgen::plan_file(layout->file_size, 3200);
    ASSERT_TRUE(exact);
    EXPECT_EQ(exact->packets, layout->packets);

    EXPECT_FALSE(asfgen::plan_file(layout->first_packet_offset + 3199, 3200));
    EXPECT_TRUE(asfgen::plan_file(layout->first_packet_offset + 3200, 3200));
    EXPECT_FALSE(asfgen::plan_file(1'000'000, asfgen::kMinPacketSize - 1));
    EXPECT_FALSE(asfgen::plan_file(1'000'000, asfgen::kMaxPacketSize + 1));
}

// Keeps the start of the file and counts the rest.
class StartSink : public asfgen::ByteSink {
  public:
    explicit StartSink(std::size_t keep) : keep_(keep) {}
    void append(std::span<const std::uint8_t> bytes) override {
        const std::size_t room = keep_ > start_.size() ? keep_ - start_.size() : 0;
        const auto kept = bytes.first(std::min(room, bytes.size()));
        start_.insert(start_.end(), kept.begin(), kept.end());
        total_ += bytes.size();
    }
    void rewrite_start(std::span<const std::uint8_t> bytes) override {
        std::copy(bytes.begin(), bytes.end(), start_.begin());
    }
    const Bytes& start() const { return start_; }
    std::uint64_t total() const { return total_; }

  private:
    std::size_t keep_;
    Bytes start_;
    std::uint64_t total_ = 0;
};

TEST(Generator, FilesAbove4GiBKeep64BitSizesAndCounts) {
    constexpr std::uint64_t kSize = (std::uint64_t{9} << 29) + 12345;  // 4.5 GiB
    const auto layout = asfgen::plan_file(kSize, asfgen::kMaxPacketSize);
    ASSERT_TRUE(layout);
    StartSink sink(1 << 20);
    asfgen::generate(*layout, sink);
    EXPECT_EQ(sink.total(), layout->file_size);
    EXPECT_GT(layout->file_size, std::uint64_t{1} << 32);

    const std::string text = dump(sink.start());
    char file_size_line[64];
    std::snprintf(file_size_line, sizeof file_size_line, "File size %g\n",
                  static_cast<double>(layout->file_size));
    EXPECT_NE(text.find(file_size_line), std::string::npos);
    const std::span<const std::uint8_t> b(sink.start());
    const std::uint64_t header_size = le64(b, 16);
    EXPECT_EQ(le64(b, header_size + 16), 50 + layout->packets * layout->packet_size);
    EXPECT_EQ(le64(b, 30 + 24 + 16), layout->file_size);
    EXPECT_EQ(le64(b, 30 + 24 + 32), layout->packets);
}

}  // namespace
