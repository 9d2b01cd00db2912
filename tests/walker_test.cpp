#include "dump/walker.hpp"

#include <gtest/gtest.h>

#include <cstdlib>

#include "asf_writer.hpp"
#include "dump/file_properties.hpp"

using namespace asftest;
using asfinspect::dump::decode_file_properties;
using asfinspect::dump::ObjectKind;

namespace {

// The object listing alone: the dump up to the file header report.
std::string listing(const Bytes& file) {
    const std::string all = dump(file);
    return all.substr(0, all.find("Dumping file header: \n"));
}

asfinspect::dump::ScanState scan(const Bytes& file) {
    asfinspect::io::FileReader reader(file);
    auto out = asfinspect::io::Output::memory();
    asfinspect::dump::ScanState state;
    asfinspect::dump::walk_objects(reader, out, state, 0, reader.size(), 0);
    return state;
}

const Guid kUnknown = asfinspect::asf::registry_guid("75B22633-668E-11CF-A6D9-00AA0062CE6C");

}  // namespace

TEST(Walker, ListsHeaderChildrenIndentedWithHexOffsetsAndDecimalSizes) {
    Bytes header_payload;
    put32(header_payload, 2);
    put16(header_payload, 0);
    put(header_payload, file_properties(FileProps{}));
    put(header_payload, object(kUnknown, Bytes(176, 0)));
    Bytes file = object_with_size(guid_of(ObjectKind::header), 5030, header_payload);
    EXPECT_EQ(listing(file),
              "0: header, size 5006\n"
              " 1e: file header, size 80\n"
              " 86: Unknown GUID 75b22633-668e-11cf-a6d90aa062ce6c, size 0x176\n");
}

TEST(Walker, CapturesFileHeaderStreamsAndFirstPacketOffset) {
    FileProps first;
    first.packets = 1;
    FileProps second;
    second.packets = 2;
    const Bytes stream1 = stream_properties(StreamProps{.flags = 1});
    const Bytes stream2 = stream_properties(StreamProps{.flags = 2});
    const Bytes stream3 = stream_properties(StreamProps{.flags = 3});
    const Bytes header =
        header_object({file_properties(first), stream1, stream2, stream3, file_properties(second)});
    const Bytes file = cat({header, data_object({}), data_object({})});
    const auto state = scan(file);
    // A second file header replaces the first; a third stream is listed but not captured.
    EXPECT_EQ(decode_file_properties(state.file_properties).data_packets, 2);
    EXPECT_EQ(state.stream_count, 2);
    EXPECT_EQ(state.streams[0][48], 1);
    EXPECT_EQ(state.streams[1][48], 2);
    // The last data object wins: its start + 50.
    EXPECT_EQ(state.first_packet_offset, static_cast<std::int64_t>(header.size() + 50 + 50));
    EXPECT_NE(listing(file).find(" 86: stream header, size 54\n"), std::string::npos);
}

TEST(Walker, EmptyAndCutShortFiles) {
    EXPECT_EQ(listing({}), "");
    const auto empty = scan({});
    EXPECT_EQ(empty.first_packet_offset, -1);
    EXPECT_EQ(empty.stream_count, 0);

    Bytes file = object(kUnknown, Bytes(4, 0));
    const Bytes cut = object(ObjectKind::data);
    file.insert(file.end(), cut.begin(), cut.begin() + 23);  // one byte short of a header
    EXPECT_EQ(listing(file), "0: Unknown GUID 75b22633-668e-11cf-a6d90aa062ce6c, size 0x4\n");
    EXPECT_EQ(scan(file).first_packet_offset, -1);
}

TEST(Walker, UndersizedObjectsGoOnAtTheirStartPlusTheirSize) {
    // An unrecognised object of size 10: the next object header is read 10
    // bytes on, overlapping this one's size field.
    Bytes file = object_with_size(kUnknown, 10);
    put16(file, 0);
    put64(file, 24);
    EXPECT_EQ(listing(file),
              "0: Unknown GUID 75b22633-668e-11cf-a6d90aa062ce6c, size 0x-14\n"
              "Illegal length of chunk\n"
              "a: Unknown GUID 6200aa00-6cce-a-00000000, size 0x0\n");

    // A header object of size 24 to 29 lists no children and the walk goes on at its end.
    for (std::int64_t size : {24, 29}) {
        Bytes f = object_with_size(guid_of(ObjectKind::header), size, Bytes(6, 0));
        f.resize(static_cast<std::size_t>(size));
        put(f, object(kUnknown));
        EXPECT_EQ(listing(f), "0: header, size " + std::to_string(size - 24) + "\n" +
                                  (size == 24 ? "18" : "1d") +
                                  ": Unknown GUID 75b22633-668e-11cf-a6d90aa062ce6c, size 0x0\n");
    }

    // A data object of size 5 still sets the first packet offset.
    Bytes d = object_with_size(guid_of(ObjectKind::data), 5);
    EXPECT_EQ(scan(d).first_packet_offset, 50);
}

TEST(Walker, SizesOfZeroOrBelowEndTheirRunAndCaptureNothing) {
    for (std::int64_t size : {std::int64_t{0}, std::int64_t{-1}, std::int64_t{-4294967296},
                              std::numeric_limits<std::int64_t>::min()}) {
        const Bytes inner =
            cat({object_with_size(guid_of(ObjectKind::data), size),
                 object_with_size(guid_of(ObjectKind::stream_properties), size), object(kUnknown)});
        Bytes header_payload{1, 0, 0, 0, 0, 0};
        put(header_payload, inner);
        const Bytes file = cat({object(ObjectKind::header, header_payload), object(kUnknown)});
        const std::string text = listing(file);
        // The header's run ends at the bad data object; the top level goes on after the header.
        const std::string payload = size == std::numeric_limits<std::int64_t>::min()
                                        ? "-9.22337e+18"
                                    : size == -4294967296 ? "-4.29497e+09"
                                                          : std::to_string(size - 24);
        EXPECT_EQ(text, "0: header, size " + std::to_string(6 + inner.size()) +
                            "\n 1e: data chunk, size " + payload + "\nIllegal length of chunk\n" +
                            "66: Unknown GUID " + "75b22633-668e-11cf-a6d90aa062ce6c, size 0x0\n")
            << size;
        const auto state = scan(file);
        EXPECT_EQ(state.first_packet_offset, -1);
        EXPECT_EQ(state.stream_count, 0);
    }
}

TEST(Walker, StreamSlotsTakeAtMost1024BytesAndUndersizedStreamsTakeAnEmptySlot) {
    Bytes long_payload(2000, 0xab);
    const Bytes long_stream = object(ObjectKind::stream_properties, long_payload);
    // An undersized stream object: its size field overlaps the next object.
    const Bytes small_stream = object_with_size(guid_of(ObjectKind::stream_properties), 20);
    const Bytes file = cat({long_stream, small_stream, Bytes(20, 0)});
    const auto state = scan(file);
    EXPECT_EQ(state.stream_count, 2);
    EXPECT_EQ(state.streams[0][1023], 0xab);
    EXPECT_EQ(state.streams[1], asfinspect::dump::StreamSlot{});
    // The walk went on at the end of each stream object: 2024, then 2044 (0x7fc).
    EXPECT_NE(listing(file).find("\n7e8: stream header, size -4\nIllegal length of chunk\n"
                                 "7fc: Unknown GUID 0-0-0-00000000, size 0x-24\n"),
              std::string::npos);
}

TEST(Walker, FileHeaderReadsItsEightyBytesAndGoesOnAfterThem) {
    // A file-properties object claiming a 100-byte payload: the walk goes on after 80.
    Bytes fp = file_properties(FileProps{.packets = 7});
    Bytes payload(fp.begin() + 24, fp.end());
    payload.resize(100, 0);
    put(payload, Bytes{});
    Bytes file = object_with_size(guid_of(ObjectKind::file_properties), 124, payload);
    const std::string text = listing(file);
    EXPECT_EQ(text.substr(0, text.find('\n')), "0: file header, size 100");
    EXPECT_EQ(decode_file_properties(scan(file).file_properties).data_packets, 7);
}

TEST(Walker, CutFilePropertiesObjectWinsWholeWithZerosNotEarlierBytes) {
    // The second file-properties object ends with the file after its packet
    // count: the record holds its bytes and zeros, none of the first object's.
    Bytes file = cat({file_properties(FileProps{.packets = 7, .flags = 2, .min_packet = 100}),
                      file_properties(FileProps{.packets = 9, .flags = 3, .min_packet = 200})});
    file.resize(104 + 24 + 40);
    const auto fields = decode_file_properties(scan(file).file_properties);
    EXPECT_EQ(fields.data_packets, 9);
    EXPECT_EQ(fields.flags, 0u);
    EXPECT_EQ(fields.min_packet_size, 0u);
}

TEST(Walker, NestedHeadersIndentOneSpacePerLevelUpToTheDepthLimit) {
    Bytes nested = object(kUnknown);
    for (int i = 0; i < 3; ++i)
        nested = header_object({nested});
    EXPECT_EQ(listing(nested),
              "0: header, size 90\n"
              " 1e: header, size 60\n"
              "  3c: header, size 30\n"
              "   5a: Unknown GUID 75b22633-668e-11cf-a6d90aa062ce6c, size 0x0\n");

    Bytes deep = object(ObjectKind::data);
    for (int i = 0; i < 70; ++i)
        deep = header_object({deep});
    const std::string text = listing(deep);
    // Headers at depth 0..63 are descended into; the one at depth 64 is listed and skipped.
    const std::string deepest =
        std::string(64, ' ') + "780: header, size 180\nHeader nesting too deep\n";
    EXPECT_NE(text.find(deepest), std::string::npos);
    EXPECT_EQ(text.find("data chunk"), std::string::npos);
    EXPECT_EQ(scan(deep).first_packet_offset, -1);
}

TEST(Walker, IndexPastTheStreamSlotsStopsTheCheckedBuilds) {
    // The debug and sanitize test presets ask for this: the slot after the
    // last lies inside ScanState, where AddressSanitizer sees nothing.
    if (std::getenv("ASFINSPECT_CHECKED_INDICES") == nullptr)
        GTEST_SKIP() << "container indices are not checked in this build";
    asfinspect::dump::ScanState state;
    volatile std::size_t past = asfinspect::dump::kMaxCapturedStreams;
    EXPECT_DEATH(state.streams[past][0] = 1, "");
}
