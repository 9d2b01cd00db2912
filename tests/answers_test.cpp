// The answers built on the decoder: the media objects, against what ffprobe
// reads of the same files, and the selection by stream and time, against
// filtering the whole output.

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "decode_helpers.hpp"
#include "view/format.hpp"
#include "view/objects_view.hpp"
#include "view/packets_csv_view.hpp"

namespace {

using namespace asftest;
using asfinspect::decode::DecodeOptions;
using asfinspect::view::ObjectsView;

Bytes fixture(const std::string& name) {
    std::ifstream in(std::string(ASFINSPECT_SOURCE_DIR) + "/" + name, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

using Rows = std::vector<std::vector<std::string>>;

// The rows of a CSV without quoted fields, the header row left out.
Rows rows_of(const std::string& csv) {
    Rows rows;
    std::istringstream lines(csv);
    std::string line;
    std::getline(lines, line);
    EXPECT_TRUE(line.ends_with("\r")) << "rows end in CRLF";
    const auto columns = std::count(line.begin(), line.end(), ',') + 1;
    // Each pass splits one line at its commas.
    while (std::getline(lines, line)) {
        if (line.ends_with("\r"))
            line.pop_back();
        std::vector<std::string> fields;
        std::istringstream cells(line);
        for (std::string cell; std::getline(cells, cell, ',');)
            fields.push_back(cell);
        if (line.ends_with(","))
            fields.emplace_back();
        EXPECT_EQ(static_cast<std::ptrdiff_t>(fields.size()), columns) << line;
        rows.push_back(fields);
    }
    return rows;
}

Rows objects_of(const Bytes& file, const DecodeOptions& options = {}) {
    return rows_of(decode_with<ObjectsView>(file, options, ObjectsView::Format::csv));
}

// The stored presentation time (column 3) and the stream (column 0).
std::uint64_t stored_time(const std::vector<std::string>& object) {
    return std::stoull(object[3]);
}

}  // namespace

// Count and bytes per stream as `ffprobe -show_packets` gives them (every
// object's time and size agree too); ffprobe drops GStreamer's last packet,
// whose padding doesn't fit its Packet Length, and with it three objects.
TEST(Answers, MediaObjectsAgreeWithFfprobe) {
    const struct {
        const char* file;
        std::map<std::string, std::pair<int, long>> streams;  // count, bytes
    } rows[] = {
        {"examples/testsrc.wmv", {{"1", {45, 59649}}, {"2", {65, 12025}}}},
        {"tests/data/msmpeg4-mp3-p8192.asf", {{"1", {20, 24469}}, {"2", {79, 8255}}}},
        {"tests/data/msmpeg4v2-pcm-p3200.asf", {{"1", {16, 2956}}, {"2", {16, 32000}}}},
        {"tests/data/wmv1-wmav1-p1000.asf", {{"1", {20, 62101}}, {"2", {44, 8140}}}},
        {"tests/data/audio-wmav2-p1000.wma", {{"1", {65, 18070}}}},
        {"tests/data/gstreamer/wmv2-wmav2-p2048.wmv", {{"1", {30, 18601}}, {"2", {20, 3700}}}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.file);
        std::map<std::string, std::pair<int, long>> found;
        for (const auto& object : objects_of(fixture(row.file))) {
            ++found[object[0]].first;
            found[object[0]].second += std::stol(object[4]);
        }
        EXPECT_EQ(found, row.streams);
    }
}

// A selection gives exactly what filtering the whole output gives: the
// media objects of a stream or of a time range, and the packets that carry
// those of the range.
TEST(Answers, SelectionsGiveTheWholeOutputFiltered) {
    for (const char* name : {"examples/testsrc.wmv", "tests/data/msmpeg4-mp3-p8192.asf",
                             "tests/data/wmv1-wmav1-p1000.asf",
                             "tests/data/gstreamer/wmv2-wmav2-p2048-streamable.wmv"}) {
        SCOPED_TRACE(name);
        const Bytes file = fixture(name);
        const Rows all = objects_of(file);
        ASSERT_GT(all.size(), 8u);
        for (const std::string stream : {"1", "2"}) {
            DecodeOptions options;
            options.streams = *asfinspect::decode::parse_stream_list(stream);
            Rows expected;
            std::copy_if(all.begin(), all.end(), std::back_inserter(expected),
                         [&](const auto& o) { return o[0] == stream; });
            EXPECT_EQ(objects_of(file, options), expected) << stream;
        }
        const std::uint64_t preroll = stored_time(all.front()) - std::stoull(all.front()[2]);
        // Ranges that begin and end at objects, inside the file and past it.
        for (const auto& [from, to] :
             {std::pair{all.size() / 4, all.size() / 2}, std::pair{all.size() / 3, all.size() - 1},
              std::pair{std::size_t{0}, std::size_t{2}}}) {
            const std::uint64_t first = stored_time(all[from]) - preroll;
            const std::uint64_t last = stored_time(all[to]) - preroll;
            SCOPED_TRACE(std::to_string(first) + "-" + std::to_string(last));
            DecodeOptions options;
            options.time = asfinspect::decode::TimeRange{first, last};
            Rows expected;
            std::set<std::string> packets;
            for (const auto& o : all) {
                if (stored_time(o) >= first + preroll && stored_time(o) <= last + preroll) {
                    expected.push_back(o);
                    for (auto p = std::stoull(o[7]); p <= std::stoull(o[8]); ++p)
                        packets.insert(std::to_string(p));
                }
            }
            EXPECT_EQ(objects_of(file, options), expected);
            std::set<std::string> shown;
            for (const auto& row :
                 rows_of(decode_with<asfinspect::view::PacketsCsvView>(file, options)))
                shown.insert(row[0]);
            EXPECT_EQ(shown, packets);
        }
    }
}

TEST(Answers, CsvFieldsAreQuotedAsRfc4180Says) {
    for (const auto& [text, written] : {std::pair<std::string, std::string>{"plain", "plain"},
                                        {"a,b", "\"a,b\""},
                                        {"say \"hi\"", "\"say \"\"hi\"\"\""},
                                        {"two\nlines", "\"two\nlines\""},
                                        {"", ""}}) {
        auto out = asfinspect::io::Output::memory();
        asfinspect::view::write_csv_field(out, text);
        EXPECT_EQ(out.text_so_far(), written);
    }
}

TEST(Answers, APrerollPastTheRangeOfTimesLeavesTimesInRange) {
    // The File Properties' Preroll is 64 bits; 2^64 - 1 ms is taken as 2^63 - 1.
    FileSpec layout;
    layout.preroll = ~std::uint64_t{0};
    const Rows objects = objects_of(build(layout));
    ASSERT_FALSE(objects.empty());
    EXPECT_EQ(objects[0][2], "-9223372036854774.807");  // 1000 ms less 2^63 - 1
}

// A media object whose second fragment is missing: the bytes present, then
// whether it is whole and its declared size, in both formats; the times as
// stored say their unit in their names.
TEST(Answers, AMediaObjectMissingBytesShowsItsDeclaredSize) {
    FileSpec layout;
    layout.packets.erase(layout.packets.begin() + 1);
    const Bytes file = build(layout);
    for (const auto& row : objects_of(file)) {
        const bool cut = row[0] == "2" && row[1] == "0";
        EXPECT_EQ(row[4], cut ? "150" : row[12]);
        EXPECT_EQ(row[11], cut ? "false" : "true");
    }
    const std::string json = decode_with<ObjectsView>(file, {}, ObjectsView::Format::json);
    EXPECT_NE(json.find(R"({"stream":2,"number":0,"time":0,"presentation_time_ms":1000,"size":150,)"
                        R"("key_frame":true,"fragments":1,"first_packet":0,"last_packet":0,)"
                        R"("send_time_ms":0,"offset":522,"whole":false,"size_declared":300})"),
              std::string::npos)
        << json;
}
