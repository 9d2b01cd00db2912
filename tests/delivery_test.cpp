// Delivery when streamed: each stream's leaky bucket, payloads sent after
// they are presented.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "decode_helpers.hpp"
#include "json_check.hpp"
#include "view/objects_view.hpp"
#include "view/timeline_view.hpp"

using namespace asftest;

namespace {

// An Extended Stream Properties Object for stream 1 with a leaky bucket of
// `rate` bit/s, `buffer` ms and `initial` ms of initial fullness.
Bytes bucket_of_stream_1(std::uint32_t rate, std::uint32_t buffer, std::uint32_t initial) {
    Bytes b;
    put64(b, 0);  // start and end time
    put64(b, 0);
    put32(b, rate);
    put32(b, buffer);
    put32(b, initial);
    for (int i = 0; i < 4; ++i)
        put32(b, 0);  // alternates, maximum object size
    put32(b, 0);      // flags
    put16(b, 1);      // stream number
    put16(b, 0);      // language index
    put64(b, 0);      // average time per frame
    put16(b, 0);      // stream names
    put16(b, 0);      // payload extension systems
    return object(registry_guid("14E6A5CB-C672-4332-8399-A96952065B5A"), b);
}

// Stream 1 alone, sent at 8000 bit/s into a bucket of 999 ms: it holds
// (999 + 1) × 8000 bits, 1000 bytes. 500 bytes at 0 ms, then `second` bytes
// at 100 ms, after 100 bytes drained; presented at `presented` ms.
Bytes two_packets(std::uint32_t initial, std::uint16_t second, std::uint32_t presented = 1200) {
    FileSpec layout;
    layout.packet_size = 700;
    layout.streams = {{1, true}};
    layout.header_extension_data = bucket_of_stream_1(8000, 999, initial);
    layout.packets = {{0, {{1, true, 0, 0, 500, 1000, 500}}},
                      {100, {{1, true, 1, 0, second, presented, second}}}};
    return build(layout);
}

std::vector<std::string> delivery_codes(const Bytes& file) {
    std::vector<std::string> codes = codes_of(file);
    std::erase_if(codes,
                  [](const std::string& c) { return c != "leaky-bucket" && c != "late-payload"; });
    return codes;
}

}  // namespace

TEST(Delivery, LeakyBucketOverflowsOneByteOverItsSizeAndNotAtIt) {
    struct Case {
        std::uint32_t initial;  // ms of 8000 bit/s: 100 ms is 100 bytes
        std::uint16_t second;
        std::vector<std::string> codes;
    };
    const std::vector<Case> cases = {
        {0, 600, {}},                // 400 + 600: full to the bit
        {0, 601, {"leaky-bucket"}},  // one byte over
        {100, 500, {}},              // 100 + 500 - 100 + 500
        {100, 501, {"leaky-bucket"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "initial " << c.initial << ", second " << c.second);
        EXPECT_EQ(delivery_codes(two_packets(c.initial, c.second)), c.codes);
    }
    // Where findings show: the tree and the JSON, at the Data Object.
    const std::string json = json_of(two_packets(0, 601));
    EXPECT_TRUE(valid_json(json));
    EXPECT_NE(json.find("\"code\":\"leaky-bucket\""), std::string::npos);
    EXPECT_NE(tree_of(two_packets(0, 601)).find("overflows its leaky bucket"), std::string::npos);
    const std::string check = check_of(two_packets(0, 601));
    EXPECT_NE(check.find("0x"), std::string::npos);
    EXPECT_NE(check.find("warning [leaky-bucket]: stream 1 overflows its leaky bucket (R 8000 "
                         "bit/s, B 999 ms) by 0.1 % (8 bits) at 0.1 s of send time"),
              std::string::npos)
        << check;
}

TEST(Delivery, PayloadSentAfterItsPresentationTimeIsLate) {
    EXPECT_EQ(delivery_codes(two_packets(0, 100, 100)), std::vector<std::string>{});
    // Sent at 100 ms, presented at 99 (a preroll of 1000 ms is stored in it).
    const Bytes late = [] {
        FileSpec layout;
        layout.preroll = 0;
        layout.streams = {{1, true}};
        layout.packets = {{0, {{1, true, 0, 0, 20, 0, 20}}}, {100, {{1, true, 1, 0, 20, 99, 20}}}};
        return build(layout);
    }();
    EXPECT_EQ(delivery_codes(late), std::vector<std::string>{"late-payload"});
    EXPECT_NE(check_of(late).find("stream 1 has 1 payload sent after its media object's "
                                  "presentation time, the worst 1 ms late (sent at 0.1 s)"),
              std::string::npos);
}

namespace {

using asfinspect::view::ObjectsView;
using asfinspect::view::TimelineView;

std::vector<std::string> fields_of(const std::string& row) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    // Each pass takes one field, up to the next comma or the end.
    for (std::size_t comma = row.find(',');; comma = row.find(',', start)) {
        fields.push_back(row.substr(start, comma - start));
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
    return fields;
}

// The CSV's rows after its header, each as its fields.
std::vector<std::vector<std::string>> rows_of(const std::string& csv) {
    std::vector<std::vector<std::string>> rows;
    std::size_t start = csv.find("\r\n") + 2;
    for (auto end = csv.find("\r\n", start); end != std::string::npos;
         start = end + 2, end = csv.find("\r\n", start))
        rows.push_back(fields_of(csv.substr(start, end - start)));
    return rows;
}

Bytes read_file(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    Bytes bytes;
    if (f == nullptr)
        return bytes;
    for (int c = std::fgetc(f); c != EOF; c = std::fgetc(f))
        bytes.push_back(static_cast<std::uint8_t>(c));
    std::fclose(f);
    return bytes;
}

}  // namespace

TEST(Timeline, TotalsAgreeWithTheMediaObjectsAndThePackets) {
    const std::string source = ASFINSPECT_SOURCE_DIR;
    for (const std::string name :
         {"/examples/testsrc.wmv", "/tests/data/wmv1-wmav1-p1000.asf",
          "/tests/data/msmpeg4v2-pcm-p3200.asf", "/tests/data/chapters-wmv2-wmav2-p1000.wmv"}) {
        SCOPED_TRACE(name);
        const Bytes file = read_file(source + name);
        ASSERT_FALSE(file.empty());
        // stream -> {bytes, media objects, key frames}, by the media objects
        // and by the timeline's streams; by the timeline's file rows.
        std::map<std::string, std::array<std::uint64_t, 3>> objects, timeline;
        std::uint64_t packets = 0, payload_bytes = 0;
        for (const auto& r :
             rows_of(decode_with<ObjectsView>(file, {}, ObjectsView::Format::csv))) {
            auto& o = objects[r[0]];
            o[0] += std::stoull(r[4]);
            o[1] += 1;
            o[2] += r[5] == "true";
        }
        const std::string csv = decode_with<TimelineView>(file, {}, TimelineView::Format::csv, 250);
        for (const auto& r : rows_of(csv)) {
            if (r[2] == "all") {
                packets += std::stoull(r[10]);
                payload_bytes += std::stoull(r[3]);
                continue;
            }
            auto& t = timeline[r[2]];
            t[0] += std::stoull(r[3]);
            t[1] += std::stoull(r[5]);
            t[2] += std::stoull(r[6]);
        }
        EXPECT_EQ(timeline, objects);
        std::uint64_t stream_bytes = 0;
        for (const auto& [stream, t] : timeline)
            stream_bytes += t[0];
        EXPECT_EQ(stream_bytes, payload_bytes);
        // Every packet of the Data Object, by its Total Data Packets.
        const std::size_t data =
            std::string(file.begin(), file.end())
                .find(std::string(reinterpret_cast<const char*>(
                                      guid_of(asfinspect::dump::ObjectKind::data).bytes.data()),
                                  16));
        ASSERT_NE(data, std::string::npos);
        std::uint64_t total = 0;
        for (int i = 7; i >= 0; --i)
            total = total << 8 | file[data + 40 + static_cast<std::size_t>(i)];
        EXPECT_EQ(packets, total);
        EXPECT_TRUE(
            valid_json(decode_with<TimelineView>(file, {}, TimelineView::Format::json, 1000)));
    }
}

TEST(Timeline, BytesCountWhenSentAndMediaObjectsWhenPresented) {
    // Stream 1's second object is sent at 100 ms and presented at 1200 ms,
    // 200 ms as a player shows it (the preroll is 1000 ms).
    const std::string csv =
        decode_with<TimelineView>(two_packets(100, 500), {}, TimelineView::Format::csv, 100);
    EXPECT_EQ(csv,
              "start,end,stream,bytes,bitrate,media_objects,key_frames,bucket_max,bucket_size,"
              "lead_min,packets,padding\r\n"
              "0,0.1,1,500,40000,1,1,4800,8000,1,,\r\n"
              "0,0.1,all,500,40000,1,1,,,1,1,170\r\n"
              "0.1,0.2,1,500,40000,0,0,8000,8000,1.1,,\r\n"
              "0.1,0.2,all,500,40000,0,0,,,1.1,1,170\r\n"
              "0.2,0.3,1,0,0,1,1,,,,,\r\n"
              "0.2,0.3,all,0,0,1,1,,,,0,0\r\n");
}

TEST(Timeline, ShowsTheDeclaredBucketsWithTheirAlternatesAndPairs) {
    FileSpec layout;
    layout.streams = {{1, true}};
    layout.header_extension_data = bucket_of_stream_1(8000, 999, 100);
    layout.packets = {{0, {{1, true, 0, 0, 20, 1000, 20}}}};
    // An Extended Content Description of one ASFLeakyBucketPairs value.
    Bytes ecd;
    put16(ecd, 1);
    const std::string name = "ASFLeakyBucketPairs";
    put16(ecd, (name.size() + 1) * 2);
    for (char c : name)
        put16(ecd, static_cast<unsigned char>(c));
    put16(ecd, 0);
    put16(ecd, 1);   // a byte array
    put16(ecd, 18);  // reserved, and two pairs
    put16(ecd, 0);
    for (std::uint32_t v : {64000u, 3000u, 128000u, 1500u})
        put32(ecd, v);
    layout.more_header_objects = {
        object(registry_guid("D2D0A440-E307-11D2-97F0-00A0C95EA850"), ecd)};
    const std::string text =
        decode_with<TimelineView>(build(layout), {}, TimelineView::Format::text, 1000);
    EXPECT_NE(text.find("stream 1 leaky bucket: R 8000 bit/s, B 999 ms, F 100 ms; alternate: "
                        "R 0 bit/s, B 0 ms, F 0 ms\n"
                        "ASFLeakyBucketPairs: 64000 bit/s in 3000 ms; 128000 bit/s in 1500 ms;\n"),
              std::string::npos)
        << text;
}
