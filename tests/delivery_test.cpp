// Delivery when streamed: each stream's leaky bucket, payloads sent after
// they are presented.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "decode_helpers.hpp"

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
    FileSpec spec;
    spec.packet_size = 700;
    spec.streams = {{1, true}};
    spec.header_extension_data = bucket_of_stream_1(8000, 999, initial);
    spec.packets = {{0, {{1, true, 0, 0, 500, 1000, 500}}},
                    {100, {{1, true, 1, 0, second, presented, second}}}};
    return build(spec);
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
        FileSpec spec;
        spec.preroll = 0;
        spec.streams = {{1, true}};
        spec.packets = {{0, {{1, true, 0, 0, 20, 0, 20}}}, {100, {{1, true, 1, 0, 20, 99, 20}}}};
        return build(spec);
    }();
    EXPECT_EQ(delivery_codes(late), std::vector<std::string>{"late-payload"});
    EXPECT_NE(check_of(late).find("stream 1 has 1 payload sent after its media object's "
                                  "presentation time, the worst 1 ms late (sent at 0.1 s)"),
              std::string::npos);
}
