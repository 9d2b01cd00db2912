// The complete decoder: packets of every form, the findings of the check, the
// packets it finds and selects, and output that stays valid on any input.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "../fuzz/output_bound.hpp"
#include "decode_helpers.hpp"
#include "json_check.hpp"
#include "view/summary_view.hpp"

using namespace asftest;

namespace {

bool has(const std::vector<std::string>& codes, const std::string& code) {
    return std::find(codes.begin(), codes.end(), code) != codes.end();
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// The header of a stream 1 payload in 0x5d form, up to its Payload Length:
// a whole media object of `size` bytes, with payload extension data.
Bytes payload_5d(std::uint16_t size, const Bytes& extensions = {}) {
    Bytes b{0x81, 0x00, 0x00, 0x00, 0x00, 0x00, static_cast<std::uint8_t>(8 + extensions.size())};
    put32(b, size);  // Media Object Size
    put32(b, 1000);  // Presentation Time
    put(b, extensions);
    return b;
}

Bytes with_data(Bytes b, std::size_t length) {
    b.resize(b.size() + length, 0xee);
    return b;
}

// A file whose only packet is `packet`, padded to 256 bytes.
Bytes file_with_packet(const Bytes& packet, Bytes extension_objects = {}) {
    FileSpec spec;
    spec.raw_packets = padded(packet, spec.packet_size);
    spec.header_extension_data = std::move(extension_objects);
    return build(spec);
}

// An Extended Stream Properties Object for stream 1 declaring payload
// extension systems of the given sizes.
Bytes extended_stream_properties(std::initializer_list<std::pair<Guid, std::uint16_t>> systems) {
    Bytes b;
    for (int i = 0; i < 2; ++i)
        put64(b, 0);  // start and end time
    for (int i = 0; i < 7; ++i)
        put32(b, 0);  // bitrates, buffers, maximum object size
    put32(b, 0);      // flags
    put16(b, 1);      // stream number
    put16(b, 0);      // language index
    put64(b, 0);      // average time per frame
    put16(b, 0);      // stream names
    put16(b, systems.size());
    for (const auto& [id, size] : systems) {
        put(b, id);
        put16(b, size);
        put32(b, 0);
    }
    return object(registry_guid("14E6A5CB-C672-4332-8399-A96952065B5A"), b);
}

const Guid kSampleDuration = registry_guid("C6BD9450-867F-4907-83A3-C77921B733AD");
const Guid kEncryptionSampleId = registry_guid("6698B84E-0AFA-4330-AEB2-1C0A98D7A44D");
const Guid kDvrMsTiming = registry_guid("FD3CC02A-06DB-4CFA-801C-7212D38745E4");

}  // namespace

TEST(Decode, WellFormedFileChecksCleanAndTilesItsPackets) {
    EXPECT_EQ(check_of(build({})), "0 errors, 0 warnings in 3 packets\n");
    const std::string tree = tree_of(build({}));
    EXPECT_TRUE(contains(tree, "  Packet 1 at 0x"));
    EXPECT_TRUE(contains(tree, "      Offset Into Media Object: 150\n"));
}

// Every form of packet header and payload header: the lengths of every
// field, error correction or none, single and several payloads, compressed
// payloads and payload extensions. Each packet fills its 256 bytes exactly
// unless the row expects a finding.
TEST(Decode, PacketFormsByTheirLengthTypes) {
    struct Row {
        const char* name;
        Bytes packet;
        std::vector<std::string> lines;
        std::vector<std::string> codes;
        Bytes extension_objects{};
    };
    const auto head = [](std::initializer_list<std::uint8_t> bytes) { return Bytes(bytes); };
    const Bytes times{0, 0, 0, 0, 0, 0};  // Send Time and Duration
    // Sub-payloads of 10, 0 and 5 bytes.
    Bytes subs{10};
    subs.resize(11, 0xcc);
    put8(subs, 0);
    put8(subs, 5);
    subs.resize(subs.size() + 5, 0xcc);
    const Bytes compressed = cat({Bytes{0x81, 0, 0xd0, 0x07, 0, 0, 1, 40}, Bytes{18, 0}, subs});
    const Bytes sample_duration_item{40, 0};
    const Bytes variable_item{3, 0, 0xa1, 0xa2, 0xa3};
    // Skipped bytes, a start time of all ones (none), an end time of 5.
    const Bytes dvr_ms_timing_item = cat({Bytes(8, 0), Bytes(8, 0xff), {5, 0, 0, 0, 0, 0, 0, 0}});

    const Row rows[] = {
        {"no error correction, byte Packet Length 200, the rest implicit padding",
         cat({head({0x29, 0x5d, 200, 0}),
              times,
              {0x81},
              payload_5d(172),
              {172, 0},
              with_data({}, 172)}),
         {"    Length Type Flags: 0x29 (Multiple Payloads Present: yes, Sequence Type: not "
          "present, "
          "Padding Length Type: BYTE, Packet Length Type: BYTE, Error Correction Present: no)\n",
          "    Property Flags: 0x5d (Replicated Data Length Type: BYTE, Offset Into Media Object "
          "Length Type: DWORD, Media Object Number Length Type: BYTE, Stream Number Length Type: "
          "BYTE)\n",
          "    Packet Length: 200\n", "      Payload Length: 172\n"},
         {}},
        {"error correction, word Sequence, dword Padding Length",
         cat({head({0x82, 0, 0, 0x1d, 0x5d, 9, 0, 38, 0, 0, 0}),
              times,
              {0x81},
              payload_5d(183),
              {183, 0},
              with_data({}, 183)}),
         {"    Error Correction Flags: 0x82 (Error Correction Data Length: 2, Opaque Data Present: "
          "no, Error Correction Length Type: 0, Error Correction Present: yes)\n",
          "    Length Type Flags: 0x1d (Multiple Payloads Present: yes, Sequence Type: WORD, "
          "Padding Length Type: DWORD, Packet Length Type: not present, Error Correction Present: "
          "no)\n",
          "    Sequence: 9\n", "    Padding Length: 38\n", "      Payload Length: 183\n"},
         {}},
        {"single payload with word object numbers and offsets",
         cat({head({0x82, 0, 0, 0x00, 0x69}), times,
              Bytes{0x81, 7, 0, 0, 0, 8, 231, 0, 0, 0, 0xe8, 3, 0, 0}, with_data({}, 231)}),
         {"    Property Flags: 0x69 (Replicated Data Length Type: BYTE, Offset Into Media Object "
          "Length Type: WORD, Media Object Number Length Type: WORD, Stream Number Length Type: "
          "BYTE)\n",
          "      Media Object Number: 7\n", "      Payload Length: 231\n"},
         {}},
        {"byte Payload Lengths",
         cat({head({0x82, 0, 0, 0x09, 0x5d, 2}),
              times,
              {0x41},
              payload_5d(225),
              {225},
              with_data({}, 225)}),
         {"    Payload Flags: 0x41 (Number of Payloads: 1, Payload Length Type: BYTE)\n",
          "    Payload Length Type: 1 (BYTE)\n", "      Payload Length: 225\n"},
         {}},
        {"dword Payload Lengths",
         cat({head({0x82, 0, 0, 0x01, 0x5d}),
              times,
              {0xc1},
              payload_5d(225),
              {225, 0, 0, 0},
              with_data({}, 225)}),
         {"    Payload Flags: 0xc1 (Number of Payloads: 1, Payload Length Type: DWORD)\n",
          "      Payload Length: 225\n"},
         {}},
        {"compressed payload: sub-payloads and their times",
         cat({head({0x82, 0, 0, 0x09, 0x5d, 215}), times, {0x81}, compressed}),
         {"      Sub-Payload 2\n", "        Length: 5\n", "        Presentation Time: 2.08 s\n"},
         {}},
        {"payload extensions of fixed and variable size",
         cat({head({0x82, 0, 0, 0x01, 0x5d}),
              times,
              {0x81},
              payload_5d(220, cat({sample_duration_item, variable_item})),
              {220, 0},
              with_data({}, 220)}),
         {"Extension Data Size: 0xffff (variable)\n", "        Sample Duration: 0.04 s\n",
          "        Extension Data: a1 a2 a3 \n"},
         {},
         extended_stream_properties({{kSampleDuration, 2}, {kEncryptionSampleId, 0xFFFF}})},
        {"a DVR-MS timing extension without a start time",
         cat({head({0x82, 0, 0, 0x01, 0x5d}),
              times,
              {0x81},
              payload_5d(203, dvr_ms_timing_item),
              {203, 0},
              with_data({}, 203)}),
         {"        Start Time: 0xffffffffffffffff (none)\n", "        End Time: 0.0000005 s\n"},
         {},
         extended_stream_properties({{kDvrMsTiming, 24}})},
        {"payload extension data that doesn't match the declared systems",
         cat({head({0x82, 0, 0, 0x01, 0x5d}),
              times,
              {0x81},
              payload_5d(221, cat({sample_duration_item, Bytes{0, 0, 0, 0}})),
              {221, 0},
              with_data({}, 221)}),
         {},
         {"payload-extension"},
         extended_stream_properties({{kSampleDuration, 2}})},
        {"padding counted after the Packet Length",
         cat({head({0x51, 0x5d, 246, 0, 10, 0}),
              times,
              {0x81},
              payload_5d(216),
              {216, 0},
              with_data({}, 216)}),
         {"    Packet Length: 246\n", "      Payload Length: 216\n"},
         {}},
        {"padding that can't fit inside the Packet Length",
         cat({head({0x51, 0x5d, 100, 0, 156, 0}),
              times,
              {0x81},
              payload_5d(70),
              {70, 0},
              with_data({}, 70)}),
         {"      Payload Length: 70\n"},
         {"packet-length"}},
        {"Packet Length above the packet size",
         cat({head({0x50, 0x5d, 0x2c, 1, 0, 0}), times, payload_5d(229), with_data({}, 229)}),
         {"    Packet Length: 300\n"},
         {"packet-length"}},
        // An early Windows Media muxer's habit: Padding Length 0, and the
        // rest of the packet zero bytes.
        {"zero bytes after the last payload",
         cat({head({0x82, 0, 0, 0x09, 0x5d, 0}),
              times,
              {0x81},
              payload_5d(200),
              {200, 0},
              with_data({}, 200)}),
         {},
         {"zero-fill"}},
        {"other bytes after the last payload",
         padded(cat({head({0x82, 0, 0, 0x09, 0x5d, 0}),
                     times,
                     {0x81},
                     payload_5d(200),
                     {200, 0},
                     with_data({}, 200)}),
                256, 0x55),
         {},
         {"packet-fill"}},
        {"a payload that runs into the padding",
         cat({head({0x82, 0, 0, 0x09, 0x5d, 20}),
              times,
              {0x81},
              payload_5d(220),
              {220, 0},
              with_data({}, 220)}),
         {},
         {"packet-fill"}},
        {"replicated data of 4 bytes",
         cat({head({0x82, 0, 0, 0x01, 0x5d}),
              times,
              {0x81},
              Bytes{0x81, 0, 0, 0, 0, 0, 4},
              Bytes(4, 0),
              {231, 0},
              with_data({}, 231)}),
         {"      Replicated Data: 00 00 00 00 \n"},
         {"replicated-data"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_LE(row.packet.size(), 256u);
        const Bytes file = file_with_packet(row.packet, row.extension_objects);
        const std::string tree = tree_of(file);
        for (const auto& line : row.lines)
            EXPECT_TRUE(contains(tree, line)) << line << tree;
        std::vector<std::string> codes = codes_of(file);
        // The one-packet file's media objects, and the language of the
        // extended stream properties, are beside the point.
        std::erase_if(codes, [](const std::string& c) {
            return c.starts_with("media-object") || c == "language-index";
        });
        EXPECT_EQ(codes, row.codes) << tree;
    }
}

// A payload extension declared at a size its kind doesn't allow is shown as
// bytes, with a warning at the declaration, never read as another kind.
TEST(Decode, ExtensionKindsAtSizesTheyDontAllowAreBytes) {
    const Guid pixel_aspect_ratio = registry_guid("1B1EE554-F9EA-4BC8-821A-376B74E4C4B8");
    const Guid content_type = registry_guid("D590DC20-07BC-436C-9CF7-F3BBFBF1A4DC");
    const Guid dvr_ms_timing = registry_guid("FD3CC02A-06DB-4CFA-801C-7212D38745E4");
    const struct {
        Guid system;
        std::uint16_t size;
    } rows[] = {
        {kSampleDuration, 1}, {kSampleDuration, 24}, {pixel_aspect_ratio, 1},
        {content_type, 2},    {dvr_ms_timing, 16},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.size);
        const Bytes data(row.size, 0x05);
        const auto length = static_cast<std::uint16_t>(227 - data.size());
        const Bytes file = file_with_packet(cat({Bytes{0x82, 0, 0, 0x01, 0x5d},
                                                 Bytes(6, 0),
                                                 {0x81},
                                                 payload_5d(length, data),
                                                 Bytes{static_cast<std::uint8_t>(length), 0},
                                                 with_data({}, length)}),
                                            extended_stream_properties({{row.system, row.size}}));
        const std::string tree = tree_of(file);
        EXPECT_TRUE(contains(tree, "        Extension Data: 05 ")) << tree;
        for (const char* label :
             {"Sample Duration:", "Aspect Ratio X:", "Content Type:", "Start Time: 0.0000001"}) {
            EXPECT_FALSE(contains(tree, label)) << label;
        }
        EXPECT_TRUE(has(codes_of(file), "payload-extension")) << check_of(file);
    }
}

// One fault put into the well-formed file, and the finding that names it.
TEST(Decode, EachFaultGivesItsFinding) {
    struct Row {
        const char* code;
        void (*fault)(FileSpec&);
    };
    const Row rows[] = {
        {"first-object",
         [](FileSpec& s) {
             s.first_objects = {
                 object(registry_guid("33000890-E5B1-11CF-89F4-00A0C90349CB"), Bytes(32, 0))};
         }},
        {"object-size", [](FileSpec& s) { s.trailing = object_with_size(Guid{}, 10); }},
        {"trailing-data", [](FileSpec& s) { s.trailing = Bytes(10, 0x11); }},
        {"past-parent",
         [](FileSpec& s) { s.more_header_objects = {object_with_size(Guid{}, 5000)}; }},
        {"header-count", [](FileSpec& s) { s.header_count = 9; }},
        {"reserved-value", [](FileSpec& s) { s.reserved2 = 3; }},
        {"missing-object", [](FileSpec& s) { s.header_extension = false; }},
        {"file-size", [](FileSpec& s) { s.file_size = 12345; }},
        {"packet-count", [](FileSpec& s) { s.total_data_packets = 7; }},
        {"packet-size", [](FileSpec& s) { s.minimum_packet_size = 255; }},
        {"data-size",
         [](FileSpec& s) {
             s.packets_count = 4;
             s.total_data_packets = 4;
         }},
        {"file-id", [](FileSpec& s) { s.data_file_id = 0xd1; }},
        {"stream-number", [](FileSpec& s) { s.streams[0].number = 0; }},
        {"duplicate-stream",
         [](FileSpec& s) {
             s.streams.push_back({1, true});
         }},
        {"stream-lengths", [](FileSpec& s) { s.streams[0].type_specific_delta = 4; }},
        {"cb-size",
         [](FileSpec& s) {
             s.streams[0].cb_size = 10;
             s.streams[0].type_specific_delta = -10;
         }},
        {"undeclared-stream",
         [](FileSpec& s) {
             s.more_header_objects = {object(registry_guid("7BF875CE-468D-11D1-8D82-006097C9A2B2"),
                                             Bytes{1, 0, 9, 0, 0, 0, 1, 0})};
         }},
        {"play-duration", [](FileSpec& s) { s.play_duration = 5'000'000; }},
        {"packet-fill",
         [](FileSpec& s) {
             s.packets[1].padding_delta = -5;
             s.packets[1].fill = 0x55;
         }},
        {"payload-stream", [](FileSpec& s) { s.packets[0].payloads[0].stream = 5; }},
        {"replicated-data", [](FileSpec& s) { s.packets[0].payloads[0].replicated_length = 4; }},
        {"payload-extension", [](FileSpec& s) { s.packets[0].payloads[0].replicated_length = 12; }},
        {"media-object-gap", [](FileSpec& s) { s.packets[1].payloads[0].offset = 160; }},
        {"media-object-overlap", [](FileSpec& s) { s.packets[1].payloads[0].offset = 140; }},
        {"media-object-size", [](FileSpec& s) { s.packets[1].payloads[0].object_size = 299; }},
        {"media-object-cut",
         [](FileSpec& s) {
             auto& p = s.packets[1].payloads[0];
             p.object_number = 1;
             p.offset = 0;
         }},
        {"send-time", [](FileSpec& s) { s.packets[2].send_time = 50; }},
        {"presentation-time", [](FileSpec& s) { s.packets[0].payloads[0].time = 500; }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.code);
        FileSpec spec;
        row.fault(spec);
        EXPECT_TRUE(has(codes_of(build(spec)), row.code)) << check_of(build(spec));
    }
    // Cut short: one error, which tells of the packets and File Size too.
    Bytes cut = build({});
    cut.resize(cut.size() - 100);
    EXPECT_EQ(codes_of(cut), std::vector<std::string>{"truncated-file"}) << check_of(cut);
    EXPECT_TRUE(contains(check_of(cut),
                         "2 of 3 packets are whole, and 100 bytes are missing; packet 2 at 0x3c7 "
                         "breaks in payload 1's data, after 89 of its 100 bytes (File Size says "
                         "1223 bytes; the file holds 1123)"))
        << check_of(cut);
}

// One cause gives one finding, and the findings come in file order, those
// known only at the end of the packets or of the file included. Zero bytes
// that a capture which preallocated its file leaves after its last packet
// or object are one warning, never packets.
TEST(Decode, OneCauseGivesOneFindingInFileOrder) {
    const Bytes xmp =
        object(registry_guid("BE7ACFCB-97A9-42E8-9C71-999491E3AFAC"), {'<', 'x', '>'});
    const auto cut_at = [](std::size_t into_last_packet) {
        Bytes b = build({});
        b.resize(b.size() - 256 + into_last_packet);
        return b;
    };
    const auto with = [](void (*make)(FileSpec&)) {
        FileSpec spec;
        make(spec);
        return build(spec);
    };
    struct Row {
        const char* name;
        Bytes file;
        std::string codes;
        std::string message;  // a part of the first finding's
    };
    const Row rows[] = {
        {"zero-filled packets before a later packet's fault, after the tagger's File Size",
         with([](FileSpec& s) {
             s.file_size = 900;
             s.packets[0].padding_delta = -10;
             s.packets[2].padding_delta = -5;
             s.packets[2].fill = 0x55;
         }),
         "warning:file-size warning:zero-fill error:packet-fill", "a tagger"},
        {"a cut inside the last packet's header", cut_at(5), "error:truncated-file",
         "2 of 3 packets are whole, and 251 bytes are missing; packet 2 at 0x3c7 breaks in its "
         "header, 5 bytes into it"},
        {"a cut inside a payload's header", cut_at(20), "error:truncated-file",
         "packet 2 at 0x3c7 breaks in payload 0's header"},
        {"a file that ends after its header",
         [] {
             Bytes b = build({});
             b.resize(0x195);
             return b;
         }(),
         "error:missing-object error:file-size", "the file has no ASF_Data_Object"},
        {"zeros after the Data Object", with([](FileSpec& s) { s.trailing = Bytes(4096, 0); }),
         "warning:trailing-zeros",
         "4096 zero bytes after the last packet, up to the end of the file: what a capture"},
        {"zeros inside a Data Object sized to hold them", with([](FileSpec& s) {
             s.data_object_size = 50 + 3 * 256 + 4096;
             s.trailing = Bytes(4096, 0);
         }),
         "warning:trailing-zeros", "4096 zero bytes after the last packet"},
        {"zero packets inside the Data Object's count and size", with([](FileSpec& s) {
             s.raw_packets = Bytes();
             for (const auto& p : s.packets)
                 put(*s.raw_packets, spec_packet(s, p));
             s.raw_packets->resize(s.raw_packets->size() + 4096, 0);
         }),
         "warning:trailing-zeros", "4096 zero bytes after the last packet"},
        {"zeros after the packets of a broadcast file", with([](FileSpec& s) {
             s.flags = 1;
             s.data_object_size = 50;
             s.trailing = Bytes(4096, 0);
         }),
         "warning:packets-by-file warning:trailing-zeros",
         "the 3 packets of 256 bytes found up to 0x4c7"},
        {"zeros after the last object",
         [&] {
             FileSpec spec;
             spec.trailing = cat({xmp, Bytes(4096, 0)});
             return build(spec);
         }(),
         "warning:trailing-zeros", "4096 zero bytes after the last object"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(severity_codes_of(row.file), row.codes) << check_of(row.file);
        const std::string check = check_of(row.file);
        EXPECT_TRUE(contains(check.substr(0, check.find('\n')), row.message)) << check;
    }
    // Real packets after a packet of zeros are still decoded.
    FileSpec broadcast;
    broadcast.flags = 1;
    broadcast.data_object_size = 50;
    broadcast.raw_packets = cat({spec_packet(broadcast, broadcast.packets[0]), Bytes(256, 0),
                                 spec_packet(broadcast, broadcast.packets[1])});
    EXPECT_TRUE(contains(check_of(build(broadcast)), " in 3 packets\n"))
        << check_of(build(broadcast));
}

// A header whose Play Duration, less the preroll, promises more than a
// second beyond what the media objects span (100 ms here, from 1000 ms),
// with every packet there; a broadcast file keeps no duration, and in a cut
// file the packets are missing, not the header wrong.
TEST(Decode, DurationPromisedBeyondTheMediaObjects) {
    struct Row {
        const char* name;
        std::uint64_t play_ms;  // the preroll of 1000 ms included
        std::uint32_t flags;
        std::size_t cut;
        std::string codes;
    };
    const Row rows[] = {
        {"a second more than the span", 2100, 2, 0, ""},
        {"more than a second more", 2101, 2, 0, "warning:duration"},
        {"broadcast", 5000, 3, 0, "warning:packets-by-file"},
        {"cut short", 5000, 2, 100, "error:truncated-file"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        FileSpec spec;
        spec.play_duration = row.play_ms * 10'000;
        spec.flags = row.flags;
        Bytes file = build(spec);
        file.resize(file.size() - row.cut);
        EXPECT_EQ(severity_codes_of(file), row.codes) << check_of(file);
    }
}

// What real muxers and taggers write, which players accept: warnings that
// name the habit, never an error.
TEST(Decode, EncoderHabitsCheckWithoutError) {
    struct Row {
        const char* habit;
        void (*make)(FileSpec&);
        std::string codes;
    };
    const Row rows[] = {
        {"GStreamer leaves its Padding Object out of the header count",
         [](FileSpec& s) {
             s.more_header_objects = {
                 object(registry_guid("1806D474-CADF-4509-A4BA-9AABCB96AAE8"), Bytes(200, 0))};
             s.header_count = 4;
         },
         "warning:header-count"},
        {"a tagger rewrote the header and left File Size as it was",
         [](FileSpec& s) { s.file_size = 900; }, "warning:file-size"},
        {"an early muxer leaves zero bytes after the last payload, Padding Length 0",
         [](FileSpec& s) {
             for (auto& p : s.packets)
                 p.padding_delta = -10;
         },
         "warning:zero-fill"},
        {"language index 0 without a Language List, for a file of one language",
         [](FileSpec& s) {
             // A Metadata Library record of the file, in language 0.
             Bytes record;
             for (const int v : {0, 0, 2, 0})
                 put16(record, v);
             put32(record, 2);
             put16(record, 0);  // an empty name, NUL-terminated
             put16(record, 7);
             Bytes library;
             put16(library, 1);
             put(library, record);
             s.header_extension_data =
                 object(registry_guid("44231C94-9498-49D1-A141-1D134E457054"), library);
         },
         ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.habit);
        FileSpec spec;
        row.make(spec);
        const Bytes file = build(spec);
        EXPECT_EQ(severity_codes_of(file), row.codes) << check_of(file);
    }
}

// Input that is not ASF, or not ASF throughout: one finding that says what
// it is, and the decode goes on where it can.
TEST(Decode, WhatIsNoObjectIsSaidOnce) {
    // An MP4 renamed .wmv.
    Bytes mp4{0, 0, 0, 0x20, 'f', 't', 'y', 'p', 'i', 's', 'o', 'm', 0, 0, 2, 0};
    mp4.resize(4000, 0x11);
    EXPECT_EQ(check_of(mp4),
              "0x0: error [not-asf]: not an ASF file: it begins with 00 00 00 20 66 74 79 70 69 "
              "73 6f 6d 00 00 02 00 (\"... ftypisom....\"), not with the Header Object's GUID\n"
              "1 error, 0 warnings in 0 packets\n");
    // Text a tagger left behind when it shrank the header: skipped up to the
    // Data Object, whose packets are all there.
    FileSpec spec;
    spec.between_header_and_data = Bytes(300, 'x');
    const Bytes file = build(spec);
    EXPECT_EQ(codes_of(file), std::vector<std::string>{"stray-bytes"}) << check_of(file);
    EXPECT_TRUE(contains(check_of(file), "ASF_Data_Object follows at 0x2c1")) << check_of(file);
    // A packet selected past the last.
    asfinspect::decode::DecodeOptions past;
    past.packets = *asfinspect::decode::parse_packet_range("7");
    EXPECT_TRUE(
        contains(tree_of(build({}), past),
                 "  ! warning at 0x195: packet 7 is selected, but the data holds 3 packets, "
                 "0 to 2\n"))
        << tree_of(build({}), past);
}

// A file of many broken packets: a hundred lines of the code, then a count.
TEST(Decode, AFloodOfOneFindingIsCounted) {
    FileSpec spec;
    // Padding Length 255 in packets of 256 bytes leaves no room for the header.
    Bytes broken{0x82, 0, 0, 0x09, 0x5d, 0xff};
    broken.resize(spec.packet_size, 0);
    spec.raw_packets = Bytes();
    for (int i = 0; i < 250; ++i)
        put(*spec.raw_packets, broken);
    const std::string check = check_of(build(spec));
    EXPECT_EQ(std::count(check.begin(), check.end(), '\n'), 102) << check;
    EXPECT_TRUE(contains(check, "\n... and 150 more packet-parse errors\n250 errors, ")) << check;
}

// Where the Data Object doesn't give its packets' extent, the packets are
// found up to the end of the file or the next top-level object.
TEST(Decode, PacketsFoundByTheirSpacingWhenSizesAreUnset) {
    const Bytes index = object(registry_guid("33000890-E5B1-11CF-89F4-00A0C90349CB"), Bytes(32, 0));
    // Broadcast; counts that disagree with the size; and a count and size of
    // 0 that agree, but with packets after them.
    for (const std::uint32_t flags : {1u, 2u, 0u}) {
        SCOPED_TRACE(flags);
        FileSpec spec;
        spec.flags = flags == 0 ? 2 : flags;
        spec.packets_count = flags == 2 ? 3 : 0;
        spec.total_data_packets = spec.packets_count;
        spec.data_object_size = 50;
        spec.trailing = index;
        const std::string check = check_of(build(spec));
        EXPECT_TRUE(contains(check, "the 3 packets of 256 bytes found up to 0x")) << check;
        EXPECT_TRUE(contains(tree_of(build(spec)), "ASF_Simple_Index_Object"));
    }
}

// --packets reaches packet N by its offset, for the tree and for the dump.
TEST(Decode, PacketSelection) {
    asfinspect::decode::DecodeOptions one;
    one.packets = *asfinspect::decode::parse_packet_range("1");
    const std::string tree = tree_of(build({}), one);
    EXPECT_FALSE(contains(tree, "Packet 0 "));
    EXPECT_TRUE(contains(tree, "Packet 1 at 0x"));
    EXPECT_FALSE(contains(tree, "Packet 2 "));
    asfinspect::decode::DecodeOptions none;
    none.packets = asfinspect::decode::PacketRange::none();
    EXPECT_FALSE(contains(tree_of(build({}), none), "Packet 0 at"));

    // The dump prints for packet 1 exactly the lines the full dump prints for it.
    const Bytes file = build({});
    const std::string full = dump(file);
    asfinspect::io::FileReader reader(file);
    auto out = asfinspect::io::Output::memory();
    asfinspect::dump::dump_file(reader, out, one.packets);
    const std::string selected = out.text_so_far();
    const auto first = full.find("\n\n Dumping packet at offset ");
    const auto second = full.find("\n\n Dumping packet at offset ", first + 1);
    const auto third = full.find("\n\n Dumping packet at offset ", second + 1);
    EXPECT_EQ(selected, full.substr(0, first + 1) + full.substr(second + 1, third - second));

    for (const char* bad : {"", "-", "1-0", "x", "1-2-3", "-5", "+1"})
        EXPECT_FALSE(asfinspect::decode::parse_packet_range(bad)) << bad;
    const auto open = asfinspect::decode::parse_packet_range("5-");
    ASSERT_TRUE(open);
    EXPECT_EQ(open->begin_below(100), 5u);
    EXPECT_EQ(open->end_below(100), 100u);
}

// Every cut of a well-formed file, and the same with junk in place of its
// packets, decodes to valid JSON, a tree, a check and a summary within the
// output bound.
TEST(Decode, EveryCutAndDamageEndsWithValidOutput) {
    const Bytes whole = build({});
    for (std::size_t n = 0; n <= whole.size(); n += 7) {
        Bytes cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(n));
        for (int junk = 0; junk < 2; ++junk) {
            if (junk == 1) {
                for (std::size_t i = 500; i < cut.size(); i += 3)
                    cut[i] = static_cast<std::uint8_t>(i * 37);
            }
            SCOPED_TRACE(testing::Message() << n << " bytes, junk " << junk);
            const std::string json = json_of(cut);
            EXPECT_TRUE(valid_json(json)) << json;
            const auto bound = asfinspect::fuzz::output_bound(cut.size());
            EXPECT_LE(json.size(), bound);
            EXPECT_LE(tree_of(cut).size(), bound);
            EXPECT_LE(check_of(cut).size(), bound);
            const std::string summary = decode_with<asfinspect::view::SummaryView>(
                cut, {}, asfinspect::view::SummaryView::Format::json);
            EXPECT_TRUE(valid_json(summary)) << summary;
            EXPECT_LE(summary.size(), bound);
        }
    }
}

namespace {

Bytes read_bytes(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    Bytes b;
    if (f == nullptr)
        return b;
    for (int c = std::fgetc(f); c != EOF; c = std::fgetc(f))
        b.push_back(static_cast<std::uint8_t>(c));
    std::fclose(f);
    return b;
}

// Objects listed at `depth` in the tree tile [start, end): each begins where
// the one before it ends.
void expect_tiling(const std::string& tree, int depth, std::int64_t start, std::int64_t end) {
    const std::string indent(static_cast<std::size_t>(2 * depth), ' ');
    std::int64_t at = start;
    for (std::size_t pos = 0; (pos = tree.find("\n" + indent + "0x", pos)) != std::string::npos;) {
        pos += 1 + indent.size();
        const std::string line = tree.substr(pos, tree.find('\n', pos) - pos);
        const std::int64_t offset = std::stoll(line.substr(2), nullptr, 16);
        const std::int64_t size = std::stoll(line.substr(line.rfind(' ') + 1));
        EXPECT_EQ(offset, at) << line;
        at = offset + size;
    }
    EXPECT_EQ(at, end);
}

}  // namespace

// The example and the muxer-made fixtures: streams as ffprobe reads them,
// objects that tile the file and the header, and a clean check but for the
// one packet GStreamer is known to get wrong.
TEST(Decode, MuxerMadeFilesDecodeAsOtherToolsReadThem) {
    struct Row {
        const char* file;
        std::vector<std::string> members;  // as ffprobe -show_streams reads them
        std::string codes;
    };
    const std::string video = "\"compression_id\":\"WMV2\"";
    const auto audio = [](int tag, int channels, int rate) {
        return "\"format_tag\":" + std::to_string(tag) +
               ",\"number_of_channels\":" + std::to_string(channels) +
               ",\"samples_per_second\":" + std::to_string(rate);
    };
    const auto size = [](int w, int h) {
        return "\"encoded_image_width\":" + std::to_string(w) +
               ",\"encoded_image_height\":" + std::to_string(h);
    };
    const Row rows[] = {
        {"examples/testsrc.wmv", {video, size(160, 120), audio(0x161, 1, 22050)}, {}},
        {"tests/data/msmpeg4-mp3-p8192.asf",
         {"\"compression_id\":\"MP43\"", size(160, 120), audio(0x55, 1, 22050)},
         {}},
        {"tests/data/msmpeg4v2-pcm-p3200.asf",
         {"\"compression_id\":\"MP42\"", size(128, 96), audio(1, 1, 8000)},
         {}},
        {"tests/data/wmv1-wmav1-p1000.asf",
         {"\"compression_id\":\"WMV1\"", size(160, 120), audio(0x160, 1, 22050)},
         {}},
        {"tests/data/audio-wmav2-p1000.wma", {audio(0x161, 2, 44100)}, {}},
        {"tests/data/video-wmv2-p8192.wmv", {video, size(176, 144)}, {}},
        {"tests/data/chapters-wmv2-wmav2-p1000.wmv",
         {video, audio(0x161, 1, 22050), "\"title\":\"Chaptered\""},
         "warning:header-count"},
        {"tests/data/gstreamer/wmv2-wmav2-p2048.wmv",
         {video, size(160, 120), audio(0x161, 1, 22050)},
         "error:packet-length"},
        {"tests/data/gstreamer/wmv2-wmav2-p2048-streamable.wmv",
         {video, audio(0x161, 1, 22050)},
         "warning:packets-by-file error:packet-length"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.file);
        const Bytes file = read_bytes(std::string(ASFINSPECT_SOURCE_DIR) + "/" + row.file);
        ASSERT_FALSE(file.empty());
        const std::string json = json_of(file);
        EXPECT_TRUE(valid_json(json));
        for (const auto& member : row.members)
            EXPECT_TRUE(contains(json, member)) << member;
        EXPECT_EQ(severity_codes_of(file), row.codes) << check_of(file);
        const std::string tree = tree_of(file);
        const auto header_size = std::stoll(tree.substr(tree.find(", size ") + 7));
        // A streamed file's Data Object says 50 bytes; its packets follow it.
        if (!contains(row.file, "streamable"))
            expect_tiling(tree, 0, 0, static_cast<std::int64_t>(file.size()));
        expect_tiling(tree, 1, 30, header_size);
    }
}
