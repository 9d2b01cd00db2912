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

#include "decode/packets/packet.hpp"
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

// Each column of the packets CSV holds the field of the packet as the decoder
// read it, on packets of several payloads, of a compressed payload and of a
// single payload with every optional header field; every column is given in
// some row, so a column left empty is caught too.
TEST(Answers, PacketsCsvColumnsAreThePacketsFields) {
    struct Recorder final : asfinspect::decode::View {
        std::vector<asfinspect::decode::Packet> packets;
        bool wants_fields() const override { return false; }
        void packet(const asfinspect::decode::Packet& p) override { packets.push_back(p); }
    };
    FileSpec spec;
    const Bytes times{0x10, 0, 0, 0, 0x20, 0};  // Send Time 16, Duration 32
    // Sub-payloads of 10 and 5 bytes 40 ms apart, from 2000 ms.
    const Bytes compressed =
        cat({{0x81, 0, 0xd0, 0x07, 0, 0, 1, 40, 17, 0, 10}, Bytes(10, 0xcc), {5}, Bytes(5, 0)});
    // Packet Length 256, Sequence 9 and Padding Length 10, each a byte.
    const Bytes single = cat({{0x82, 0, 0, 0x2a, 0x5d, 0, 9, 10},
                              times,
                              {0x02, 3, 0, 0, 0, 0, 8, 217, 0, 0, 0, 0xe8, 3, 0, 0},
                              Bytes(217, 0xee)});
    spec.raw_packets =
        cat({spec_packet(spec, spec.packets[0]),
             padded(cat({{0x82, 0, 0, 0x09, 0x5d, 216}, times, {0x81}, compressed}), 256),
             padded(single, 256)});
    const Bytes file = build(spec);
    Recorder recorder;
    {
        asfinspect::io::FileReader reader(file);
        asfinspect::decode::DiscardFindings discard;
        asfinspect::decode::decode_file(reader, recorder, discard, "test.asf", {});
    }
    ASSERT_EQ(recorder.packets.size(), 3u);
    const std::string csv = decode_with<asfinspect::view::PacketsCsvView>(file, {});
    std::vector<std::string> header;
    std::istringstream first(csv.substr(0, csv.find('\r')));
    for (std::string name; std::getline(first, name, ',');)
        header.push_back(name);
    const auto number = [](auto v) { return std::to_string(v); };
    const auto optional = [&](bool given, std::uint64_t v) { return given ? number(v) : ""; };
    std::set<std::string> given;
    const Rows rows = rows_of(csv);
    ASSERT_EQ(rows.size(), 4u);
    for (const auto& row : rows) {
        const auto& p = recorder.packets.at(std::stoul(row[0]));
        const auto& h = p.header;
        const auto& q = p.payloads.at(std::stoul(row[10]));
        const std::map<std::string, std::string> expected = {
            {"packet", number(p.index)},
            {"packet_offset", number(p.offset)},
            {"length_type_flags", number(h.length_type_flags)},
            {"property_flags", number(h.property_flags)},
            {"packet_length", optional(h.has_packet_length, h.packet_length)},
            {"sequence", optional(h.has_sequence, h.sequence)},
            {"padding_length", optional(h.has_padding_length, h.padding_length)},
            {"send_time", number(h.send_time)},
            {"duration", number(h.duration)},
            {"number_of_payloads", optional(h.multiple_payloads(), h.payload_count())},
            {"payload", number(q.index)},
            {"payload_offset", number(q.offset)},
            {"stream_number", number(q.stream)},
            {"key_frame", q.key_frame ? "true" : "false"},
            {"media_object_number", number(q.media_object_number)},
            {"offset_into_media_object", number(q.offset_into_media_object)},
            {"replicated_data_length", number(q.replicated_data_length)},
            {"media_object_size", optional(q.has_object_fields, q.media_object_size)},
            {"presentation_time", optional(q.has_object_fields, q.presentation_time)},
            {"presentation_time_delta", optional(q.compressed, q.time_delta)},
            {"payload_length", number(q.payload_length)},
            {"data_offset", number(q.data_offset)},
        };
        ASSERT_EQ(header.size(), expected.size());
        for (std::size_t i = 0; i < header.size(); ++i) {
            ASSERT_TRUE(expected.contains(header[i])) << header[i];
            EXPECT_EQ(row[i], expected.at(header[i])) << header[i] << " of packet " << row[0];
            if (!row[i].empty())
                given.insert(header[i]);
        }
    }
    EXPECT_EQ(given.size(), header.size());
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
    // The File Properties' Preroll is 64 bits: 1000 ms less 2^64 - 1 lies
    // below the range of times, which saturates, as in every other answer.
    FileSpec layout;
    layout.preroll = ~std::uint64_t{0};
    const Rows objects = objects_of(build(layout));
    ASSERT_FALSE(objects.empty());
    EXPECT_EQ(objects[0][2], "-9223372036854775.807");  // -(2^63 - 1) ms
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
