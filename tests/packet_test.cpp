#include "dump/packet.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <limits>
#include <string>

#include "asf_writer.hpp"
#include "dump/payload.hpp"

using namespace asftest;
using asfinspect::dump::PacketHeader;
using asfinspect::dump::PayloadCursor;
using asfinspect::io::FileReader;
using asfinspect::io::Output;

namespace {

std::string packet_dump(const Bytes& file, std::int64_t offset, std::int32_t packet_size = 3200) {
    FileReader reader(file);
    auto out = Output::memory();
    asfinspect::dump::dump_packet(reader, out, offset, packet_size);
    EXPECT_EQ(out.base(), Output::Base::decimal);
    return out.text_so_far();
}

// The packet's lines up to its first segment.
std::string header_lines(const std::string& text) {
    return text.substr(0, text.find(" Segment 0 at offset"));
}

// A standard-form packet header as the payload walk sees it.
PacketHeader header_for(std::uint8_t segment_format, std::uint8_t payload_length_type,
                        bool multiple_payloads = true) {
    PacketHeader h;
    h.standard_form = true;
    h.length_type_flags = multiple_payloads ? 0x01 : 0x00;
    h.segment_format = segment_format;
    h.packet_size = 3200;
    h.segment_count = 1;
    h.payload_length_type = payload_length_type;
    h.header_length = multiple_payloads ? 12 : 11;
    return h;
}

struct Segment {
    std::string text;
    bool ends_walk = false;
    PayloadCursor cursor;
};

Segment run_segment(const Bytes& file, const PacketHeader& header, PayloadCursor cursor,
                    int k = 0) {
    FileReader reader(file);
    auto out = Output::memory();
    Segment s;
    s.ends_walk = asfinspect::dump::dump_segment(reader, out, header, k, cursor);
    EXPECT_EQ(out.base(), Output::Base::decimal);
    s.text = out.text_so_far();
    s.cursor = cursor;
    return s;
}

// The segment's lines after its title and byte dump.
std::string fields(const std::string& segment_text) {
    const auto first = segment_text.find('\n');
    return segment_text.substr(segment_text.find('\n', first + 1) + 1);
}

// A single-fragment payload: stream 3, sequence 9, the Offset Into Media
// Object field as given, Media Object Size 500, Presentation Time `time_ms`,
// then the Payload Length field as given and 64 data bytes.
Bytes fragment(const Bytes& offset_field, const Bytes& length_field, std::uint32_t time_ms = 250) {
    Bytes b{0x03, 0x09};
    put(b, offset_field);
    put8(b, 8);
    put32(b, 500);
    put32(b, time_ms);
    put(b, length_field);
    b.resize(b.size() + 64, 0xee);
    return b;
}

std::string hex_of(std::uint64_t v) {
    char buf[24];
    std::snprintf(buf, sizeof buf, "%llx", static_cast<unsigned long long>(v));
    return buf;
}

}  // namespace

TEST(PacketDump, StandardFormWithTwoSingleFragments) {
    Bytes file(100, 0xaa);
    PacketHead h;
    h.length_type_flags = 0x11;
    h.padding_word = 16;
    h.send_time = 1000;
    h.duration = 100;
    h.payload_flags = 0x82;
    put(file, padded(cat({packet_head(h), single_payload(2, 5, 10000, 1000, 320, true),
                          single_payload(1, 6, 2816, 2000, 2816)}),
                     3200));
    EXPECT_EQ(packet_dump(file, 100),
              "\n"
              " Dumping packet at offset 100\n"
              "82 00 00 11 5d 10 00 e8 03 00 00 64 00 82 82 05 \n"
              "Global packet flags 17\n"
              "Segment format 93\n"
              "Padding size [word] 16\n"
              "Send packet time: 1 s\n"
              "Duration: 0.1 s\n"
              "2 segments\n"
              "Segments area: 3170 bytes\n"
              " Segment 0 at offset 114:\n"
              "82 05 00 00 00 00 08 10 27 00 00 e8 03 00 00 40 01 ee ee ee \n"
              "Key frame\n"
              "  Local flags 8 ( Single fragment )\n"
              "  Fragment offset 0\n"
              "  Object length 10000\n"
              "  Object time 1.000 s\n"
              " Stream 2, seq_num 5: Fragment length 320\n"
              " Segment 1 at offset 451:\n"
              "01 06 00 00 00 00 08 00 0b 00 00 d0 07 00 00 00 0b ee ee ee \n"
              "  Local flags 8 ( Single fragment )\n"
              "  Fragment offset 0\n"
              "  Object length 2816\n"
              "  Object time 2.000 s\n"
              " Stream 1, seq_num 6: Fragment length 2816\n");
}

TEST(PacketDump, OptionalHeaderFieldsAndTheSegmentsArea) {
    PacketHead h;
    h.length_type_flags = 0x00;  // no optional field, one payload
    h.send_time = 1'234'567;
    std::string text = header_lines(packet_dump(padded(packet_head(h), 3200), 0));
    EXPECT_EQ(text,
              "\n"
              " Dumping packet at offset 0\n"
              "82 00 00 00 5d 87 d6 12 00 00 00 00 00 00 00 00 \n"
              "Global packet flags 0\n"
              "Segment format 93\n"
              "Send packet time: 1234.57 s\n"
              "Duration: 0 s\n"
              "Segments area: 3189 bytes\n");

    h.length_type_flags = 0x19;  // padding word and byte
    h.padding_word = 0x0100;
    h.padding_byte = 0x10;
    h.send_time = 0x80000000;
    h.duration = 0x8000;
    h.payload_flags = 0x80;
    text = packet_dump(padded(packet_head(h), 3200), 0);
    EXPECT_EQ(text.substr(text.find("Global")),
              "Global packet flags 25\n"
              "Segment format 93\n"
              "Padding size [word] 256\n"
              "Padding size [byte] 16\n"
              "Send packet time: -2.14748e+06 s\n"
              "Duration: -32.768 s\n"
              "0 segments\n"
              "Segments area: 2913 bytes\n");

    h = PacketHead{};
    h.length_type_flags = 0x41;  // explicit packet length replaces the caller's size
    h.packet_length = 0x0800;
    h.payload_flags = 0x80;
    text = packet_dump(padded(packet_head(h), 3200), 0);
    EXPECT_NE(text.find("Explicit packet size: 2048\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Segments area: 2034 bytes\n"), std::string::npos) << text;
    h.packet_length = 0x9000;  // printed signed, used unsigned
    text = packet_dump(padded(packet_head(h), 3200), 0);
    EXPECT_NE(text.find("Explicit packet size: -28672\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Segments area: 36850 bytes\n"), std::string::npos) << text;

    h = PacketHead{};
    h.length_type_flags = 0x10;  // padding longer than the packet: the walk still runs
    h.padding_word = 0x8000;
    text = packet_dump(padded(packet_head(h), 3200), 0);
    EXPECT_NE(text.find("Padding size [word] -32768\nSend"), std::string::npos) << text;
    EXPECT_NE(text.find("Segments area: -29581 bytes\n Segment 0 at offset 13:\n"),
              std::string::npos)
        << text;
}

TEST(PacketDump, PayloadAreaIsSigned32BitAndWraps) {
    // Packet sizes of 2^31 and more arrive as negative 32-bit values; the area
    // (size - 11) and the single payload's fragment length (area - 15) wrap.
    struct Case {
        std::uint32_t packet_size;
        std::string area;
        std::string fragment;
    };
    const Bytes packet =
        cat({packet_head(PacketHead{.length_type_flags = 0x00}), single_payload(1, 7, 100, 0, 10)});
    for (const Case& c :
         {Case{0x80000000, "2147483637", "2147483622"},
          Case{0x80000010, "-2147483643", "2147483638"}, Case{0xffffffff, "-12", "-27"}}) {
        const std::string text = packet_dump(packet, 0, static_cast<std::int32_t>(c.packet_size));
        EXPECT_NE(text.find("Segments area: " + c.area + " bytes\n"), std::string::npos) << text;
        EXPECT_NE(text.find(": Fragment length " + c.fragment + "\n"), std::string::npos) << text;
    }
}

TEST(PacketDump, PayloadFlagsGiveCountAndLengthType) {
    PacketHead h;
    h.payload_flags = 0x41;
    std::string text = packet_dump(padded(cat({packet_head(h), fragment({}, {0x05})}), 3200), 0);
    EXPECT_NE(text.find("Duration: 0 s\n1 segments ( 1-byte dimensions )\nSegments area: 3188"),
              std::string::npos)
        << text;
    EXPECT_EQ(count_of(text, " Segment "), 1u);

    h.payload_flags = 0xc2;
    text = packet_dump(padded(packet_head(h), 3200), 0);
    EXPECT_NE(text.find("Duration: 0 s\n2 segments\nSegments area: 3188"), std::string::npos)
        << text;

    h.payload_flags = 0x80;
    text = packet_dump(padded(packet_head(h), 3200), 0);
    EXPECT_NE(text.find("0 segments\nSegments area: 3188 bytes\n"), std::string::npos) << text;
    EXPECT_EQ(count_of(text, " Segment "), 0u);
}

TEST(PacketDump, AllOptionalFieldsPutThePayloadFlagsAtByte16) {
    PacketHead h;
    h.length_type_flags = 0x59;
    h.packet_length = 3200;
    h.padding_word = 0x0100;
    h.padding_byte = 0x10;
    h.send_time = 1000;
    h.duration = 100;
    h.payload_flags = 0x83;
    const Bytes head = packet_head(h);
    ASSERT_EQ(head.size(), 17u);
    const std::string text = packet_dump(padded(head, 3200), 0);
    EXPECT_EQ(header_lines(text),
              "\n"
              " Dumping packet at offset 0\n"
              "82 00 00 59 5d 80 0c 00 01 10 e8 03 00 00 64 00 \n"
              "Global packet flags 89\n"
              "Segment format 93\n"
              "Explicit packet size: 3200\n"
              "Padding size [word] 256\n"
              "Padding size [byte] 16\n"
              "Send packet time: 1 s\n"
              "Duration: 0.1 s\n"
              "3 segments\n"
              "Segments area: 2911 bytes\n");
    EXPECT_NE(text.find(" Segment 0 at offset 17:\n"), std::string::npos) << text;

    // The file ends after the 16 dumped bytes: byte 16 reads as zero.
    const std::string cut = packet_dump(Bytes(head.begin(), head.end() - 1), 0);
    EXPECT_EQ(cut.substr(cut.find("Send")),
              "Send packet time: 1 s\n"
              "Duration: 0.1 s\n"
              "0 segments\n"
              "Segments area: 2911 bytes\n");
}

TEST(PacketDump, BytesPastTheEndOfTheFileReadAsZero) {
    const Bytes file{0x82, 0x00, 0x00, 0x00, 0x5d, 0xe8, 0x03, 0x00, 0x00, 0x64};
    EXPECT_EQ(packet_dump(file, 0),
              "\n"
              " Dumping packet at offset 0\n"
              "82 00 00 00 5d e8 03 00 00 64 00 00 00 00 00 00 \n"
              "Global packet flags 0\n"
              "Segment format 93\n"
              "Send packet time: 1 s\n"
              "Duration: 0.1 s\n"
              "Segments area: 3189 bytes\n"
              " Segment 0 at offset 11:\n"
              "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 \n"
              "  Local flags 0 ( Unknown )\n"
              " !!!!!!!!!!!!!!!! UNKNOWN LFLAGS 0 !!!!!!!!!!!!!!\n");
}

TEST(PacketDump, OtherFormListsUndecodedSegmentsAtOnePlace) {
    Bytes file(32, 0xaa);
    const Bytes packet{0x5a, 0x01, 0x02, 0x03, 0x04, 0x09, 0xfe, 0xff, 0x08,
                       0x09, 0x0a, 0x0b, 0x0c, 0x0d, 0x83, 0x81, 0x04, 0x08};
    put(file, padded(packet, 3200));
    const std::string segment =
        "81 04 08 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 \n"
        "Key frame\n"
        "  Local flags 8 ( Single fragment )\n";
    EXPECT_EQ(packet_dump(file, 32),
              "\n"
              " Dumping packet at offset 32\n"
              "5a 01 02 03 04 09 fe ff 08 09 0a 0b 0c 0d 83 81 \n"
              "!!!!!!!!!!!!! YS packet !!!!!!!!!!!!!!!!\n"
              "Sequence number: 9\n"
              "Pad length: -2\n"
              "3 segments\n"
              "Segments area: 3185 bytes\n"
              " Segment 0 at offset 47:\n" +
                  segment + " Segment 1 at offset 47:\n" + segment + " Segment 2 at offset 47:\n" +
                  segment);

    file[32 + 14] = 0x80;
    std::string text = packet_dump(file, 32);
    EXPECT_NE(text.find("\n0 segments\nSegments area: 3185 bytes\n"), std::string::npos) << text;
    EXPECT_EQ(count_of(text, " Segment "), 0u);

    file[32 + 14] = 0x00;
    text = packet_dump(file, 32);
    EXPECT_NE(text.find("\n128 segments\n"), std::string::npos) << text;
    EXPECT_EQ(count_of(text, " at offset 47:\n"), 128u);
    EXPECT_NE(text.find(" Segment 127 at offset 47:\n"), std::string::npos);
}

TEST(PacketDump, UnknownLocalFlagsEndThePacketsWalk) {
    PacketHead h;
    h.payload_flags = 0x85;
    const Bytes bad{0x02, 0x01, 0x00, 0x00, 0x00, 0x00, 0x02};
    const Bytes file = padded(cat({packet_head(h), bad}), 3200);
    const std::string text = packet_dump(file, 0);
    EXPECT_EQ(text.substr(text.find("5 segments")),
              "5 segments\n"
              "Segments area: 3188 bytes\n"
              " Segment 0 at offset 12:\n"
              "02 01 00 00 00 00 02 00 00 00 00 00 00 00 00 00 00 00 00 00 \n"
              "  Local flags 2 ( Unknown )\n"
              " !!!!!!!!!!!!!!!! UNKNOWN LFLAGS 2 !!!!!!!!!!!!!!\n");

    const Segment s = run_segment(file, header_for(0x5d, 0x80), {12, 3188});
    EXPECT_TRUE(s.ends_walk);
    EXPECT_EQ(s.cursor.position, 12);
    EXPECT_EQ(s.cursor.remaining, 3188);
}

TEST(PacketDump, FirstTitleKeepsTheBaseLeftByTheHeaderReports) {
    FileProps props;
    props.packets = 2;
    props.min_packet = 100;
    props.max_packet = 100;
    PacketHead h;
    h.length_type_flags = 0x00;
    const Bytes packet = padded(cat({packet_head(h), fragment({0, 0, 0, 0}, {})}), 100);
    const Bytes packets = cat({packet, packet});

    // Without a stream report the base is still the hexadecimal of the object list.
    Bytes head = header_object({file_properties(props)});
    const auto first = static_cast<std::uint64_t>(head.size() + 50);
    std::string text = dump(cat({head, data_object(packets, 2)}));
    EXPECT_NE(text.find("\n Dumping packet at offset " + hex_of(first) + "\n"), std::string::npos)
        << text;
    EXPECT_NE(text.find("\n Dumping packet at offset " + std::to_string(first + 100) + "\n"),
              std::string::npos)
        << text;

    head = header_object({file_properties(props), stream_properties(StreamProps{})});
    const auto first_after_stream = static_cast<std::uint64_t>(head.size() + 50);
    text = dump(cat({head, data_object(packets, 2)}));
    EXPECT_NE(text.find("\n Dumping packet at offset " + std::to_string(first_after_stream) + "\n"),
              std::string::npos)
        << text;
}

TEST(PayloadDump, SegmentFormatsPlaceTheLocalFlags) {
    struct Case {
        std::uint8_t format;
        Bytes offset_field;
        const char* offset_text;
        std::int64_t h;
    };
    const Case cases[] = {
        {0x55, {0xfe}, "254", 12},
        {0x59, {0xfe, 0xff}, "-2", 13},
        {0x5d, {0x00, 0x00, 0x00, 0x80}, "-2147483648", 15},
        {0x5c, {}, "0", 11},  // any other value: no field at all
        {0x00, {}, "0", 11},
    };
    for (const auto& c : cases) {
        const Bytes file = cat({Bytes(20, 0), fragment(c.offset_field, {40, 0})});
        const Segment s = run_segment(file, header_for(c.format, 0x80), {20, 1000});
        EXPECT_EQ(fields(s.text), std::string("  Local flags 8 ( Single fragment )\n"
                                              "  Fragment offset ") +
                                      c.offset_text +
                                      "\n"
                                      "  Object length 500\n"
                                      "  Object time 0.250 s\n"
                                      " Stream 3, seq_num 9: Fragment length 40\n")
            << "format " << int{c.format};
        EXPECT_EQ(s.cursor.position, 20 + c.h + 40 + 2) << "format " << int{c.format};
        EXPECT_EQ(s.cursor.remaining, 1000 - c.h - 40 - 2) << "format " << int{c.format};
    }
}

TEST(PayloadDump, PayloadLengthTypes) {
    const Bytes file = cat({Bytes(20, 0), fragment({0, 0, 0, 0}, {40, 1})});
    Segment s = run_segment(file, header_for(0x5d, 0x40), {20, 1000});
    EXPECT_NE(s.text.find(" Stream 3, seq_num 9: Fragment length 40\n"), std::string::npos)
        << s.text;
    EXPECT_EQ(s.cursor.position, 20 + 15 + 40 + 1);
    EXPECT_EQ(s.cursor.remaining, 1000 - 15 - 40 - 1);

    for (const std::uint8_t unknown : {0x00, 0xc0}) {
        s = run_segment(file, header_for(0x5d, unknown), {20, 1000});
        EXPECT_NE(
            s.text.find("0.250 s\nUnknown segsize\n Stream 3, seq_num 9: Fragment length 0\n"),
            std::string::npos)
            << s.text;
        EXPECT_EQ(s.cursor.position, 20 + 15 + 1);
        EXPECT_EQ(s.cursor.remaining, 1000 - 15 - 1);
    }

    // The only payload of its packet fills the rest of the area.
    s = run_segment(file, header_for(0x5d, 0x00, false), {20, 3170});
    EXPECT_NE(s.text.find(" Stream 3, seq_num 9: Fragment length 3155\n"), std::string::npos)
        << s.text;
    EXPECT_EQ(s.cursor.position, 20 + 3170);
    EXPECT_EQ(s.cursor.remaining, 0);
    s = run_segment(fragment({}, {}), header_for(0x00, 0x00, false), {0, 5});
    EXPECT_NE(s.text.find("Fragment length -6\n"), std::string::npos) << s.text;
    EXPECT_EQ(s.cursor.position, 5);
}

TEST(PayloadDump, ObjectTimeKeepsItsSignOnBothParts) {
    struct Case {
        std::int32_t ms;
        const char* line;
    };
    const Case cases[] = {
        {61234, "  Object time 61.234 s\n"},
        {5, "  Object time 0.005 s\n"},
        {60000, "  Object time 60.000 s\n"},
        {-1500, "  Object time -1.-500 s\n"},
        {-5, "  Object time 0.0-5 s\n"},
        {std::numeric_limits<std::int32_t>::min(), "  Object time -2147483.-648 s\n"},
    };
    for (const auto& c : cases) {
        const Bytes file = fragment({0, 0, 0, 0}, {0, 0}, static_cast<std::uint32_t>(c.ms));
        const Segment s = run_segment(file, header_for(0x5d, 0x80), {0, 100});
        EXPECT_NE(s.text.find(c.line), std::string::npos) << c.ms << "\n" << s.text;

        // A grouped payload's time is its format value, printed the same way.
        Bytes grouped{0x01, 0x07};
        put32(grouped, static_cast<std::uint32_t>(c.ms));
        put(grouped, Bytes{0x01, 0x64, 0x00, 0x00});
        const Segment g = run_segment(grouped, header_for(0x5d, 0x80), {0, 100});
        EXPECT_NE(g.text.find(c.line), std::string::npos) << c.ms << "\n" << g.text;
    }
}

TEST(PayloadDump, GroupedPayloadSubPayloads) {
    Bytes file = cat({Bytes(14, 0), grouped_payload(1, 7, 2000, {15, 15})});
    Segment s = run_segment(file, header_for(0x5d, 0x80), {14, 3170});
    EXPECT_EQ(s.text,
              " Segment 0 at offset 14:\n"
              "01 07 d0 07 00 00 01 64 20 00 0f cc cc cc cc cc cc cc cc cc \n"
              "  Local flags 1 ( Multiple fragments )\n"
              "  Object time 2.000 s\n"
              "  Unknown: 100\n"
              "  Object len 32\n"
              " Stream 1, seq_num 7: Fragment length 15\n"
              " Stream 1, seq_num 8: Fragment length 15\n");
    EXPECT_FALSE(s.ends_walk);
    EXPECT_EQ(s.cursor.position, 14 + 42);
    EXPECT_EQ(s.cursor.remaining, 3170 - 42);

    // The sequence value is wider than its byte.
    s = run_segment(grouped_payload(4, 255, 0, {1, 2, 3}), header_for(0x5d, 0x80), {0, 100});
    EXPECT_NE(s.text.find("  Object len 9\n"
                          " Stream 4, seq_num 255: Fragment length 1\n"
                          " Stream 4, seq_num 256: Fragment length 2\n"
                          " Stream 4, seq_num 257: Fragment length 3\n"),
              std::string::npos)
        << s.text;

    // A Payload Length of 0 holds no sub-payload.
    s = run_segment(grouped_payload(1, 7, 0, {}), header_for(0x5d, 0x80), {0, 100});
    EXPECT_EQ(fields(s.text).substr(fields(s.text).find("  Object len")), "  Object len 0\n");
    EXPECT_EQ(s.cursor.position, 10);

    // The only payload: no length word, the sub-payloads fill the rest of the area.
    file = {0x01, 0x07, 0xd0, 0x07, 0x00, 0x00, 0x01, 0x64};
    for (int i = 0; i < 2; ++i) {
        put8(file, 15);
        file.resize(file.size() + 15, 0xcc);
    }
    s = run_segment(file, header_for(0x5d, 0x00, false), {0, 40});
    EXPECT_EQ(fields(s.text),
              "  Local flags 1 ( Multiple fragments )\n"
              "  Object time 2.000 s\n"
              "  Unknown: 100\n"
              " Stream 1, seq_num 7: Fragment length 15\n"
              " Stream 1, seq_num 8: Fragment length 15\n");
    EXPECT_EQ(s.cursor.position, 40);
    EXPECT_EQ(s.cursor.remaining, 0);

    // The grouped header is 8 bytes whatever the format: with 0x55 the time
    // delta sits at byte 4 and the length word still at byte 8.
    file = {0x01, 0x07, 0x05, 0x01, 0x64, 0xff, 0xff, 0xff, 0x03, 0x00, 0x02, 0xcc, 0xcc};
    s = run_segment(file, header_for(0x55, 0x80), {0, 100});
    EXPECT_EQ(fields(s.text),
              "  Local flags 1 ( Multiple fragments )\n"
              "  Object time 0.005 s\n"
              "  Unknown: 100\n"
              "  Object len 3\n"
              " Stream 1, seq_num 7: Fragment length 2\n");
    EXPECT_EQ(s.cursor.position, 13);
}

TEST(PayloadDump, SubPayloadWalkStopsAtTheEndOfFileAndAtItsBounds) {
    // The file ends where the second sub-payload's length byte would be.
    Bytes grouped = grouped_payload(1, 7, 2000, {15, 15});
    grouped.resize(8 + 2 + 16);
    PacketHead h;
    h.payload_flags = 0x82;
    std::string text = packet_dump(cat({packet_head(h), grouped}), 0);
    EXPECT_EQ(text.substr(text.find("  Object len")),
              "  Object len 32\n"
              " Stream 1, seq_num 7: Fragment length 15\n"
              "Unexpected end of file\n");
    Segment s = run_segment(grouped, header_for(0x5d, 0x80), {0, 3000});
    EXPECT_TRUE(s.ends_walk);

    // A sub-payload longer than what is left of the Payload Length: the
    // payload ends there and the packet's next payload follows.
    const Bytes short_group{0x01, 0x07, 0xd0, 0x07, 0x00, 0x00, 0x01, 0x64, 0x0a, 0x00, 0x0f};
    Bytes packet = cat({packet_head(h), short_group});
    packet.resize(12 + 26, 0xcc);
    put(packet, single_payload(2, 9, 100, 0, 20));
    text = packet_dump(padded(packet, 3200), 0);
    EXPECT_NE(text.find("  Object len 10\n"
                        " Stream 1, seq_num 7: Fragment length 15\n"
                        "Sub-payload overruns its payload\n"
                        " Segment 1 at offset 38:\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find(" Stream 2, seq_num 9: Fragment length 20\n"), std::string::npos) << text;
    s = run_segment(packet, header_for(0x5d, 0x80), {12, 3188});
    EXPECT_FALSE(s.ends_walk);
    EXPECT_EQ(s.cursor.position, 12 + 26);
    EXPECT_EQ(s.cursor.remaining, 3188 - 26);

    // A sub-payload that would end past the packet: its line, then the warning.
    const Bytes file = padded(grouped_payload(1, 7, 2000, {15, 15}), 100);
    PacketHeader small = header_for(0x5d, 0x80);
    small.packet_size = 30;
    s = run_segment(file, small, {0, 30});
    EXPECT_EQ(s.text.substr(s.text.find("  Object len")),
              "  Object len 32\n"
              " Stream 1, seq_num 7: Fragment length 15\n"
              " Stream 1, seq_num 8: Fragment length 15\n"
              "Sub-payload overruns its payload\n");
    EXPECT_FALSE(s.ends_walk);
    EXPECT_EQ(s.cursor.position, 42);
    small.packet_size = 42;  // ending exactly at the packet's end is fine
    s = run_segment(file, small, {0, 42});
    EXPECT_EQ(s.text.find("overruns"), std::string::npos) << s.text;
    EXPECT_EQ(s.cursor.remaining, 0);
}
