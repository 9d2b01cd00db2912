// Real files: the example file, the ffmpeg-made files in tests/data and, where
// present, the real-world files beside the checkout. Every dump must end, and
// in a well-formed file the payloads of each packet must fill its payload area
// exactly, up to its padding.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "asf_writer.hpp"
#include "check/check_view.hpp"
#include "decode/decoder.hpp"
#include "dump/dump.hpp"
#include "dump/file_properties.hpp"
#include "dump/packet.hpp"
#include "dump/payload.hpp"
#include "dump/scan_state.hpp"
#include "dump/walker.hpp"
#include "io/file_reader.hpp"
#include "io/le.hpp"
#include "io/output.hpp"

namespace {

namespace fs = std::filesystem;
using namespace asfinspect;
using asftest::count_of;

const fs::path kSourceDir = ASFINSPECT_SOURCE_DIR;
const fs::path kExample = kSourceDir / "examples" / "testsrc.wmv";
const fs::path kFixtureDir = kSourceDir / "tests" / "data";
const fs::path kSamplesDir = ASFINSPECT_SAMPLES_DIR;

// The data object's size field sits 16 bytes into the object, which starts 50
// bytes before its first packet.
constexpr std::int64_t kDataObjectToFirstPacket = 50;
constexpr std::size_t kObjectSizeField = 16;

// Lines the packet dump prints only where a payload doesn't fit its packet.
constexpr std::string_view kMisfitWarnings[] = {"UNKNOWN LFLAGS", "Unknown segsize",
                                                "Sub-payload overruns its payload",
                                                "Unexpected end of file"};

// An input file opened read-only for the length of a test.
class InputFile {
  public:
    explicit InputFile(const fs::path& path) : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {
        struct stat st {};
        if (fd_ >= 0 && ::fstat(fd_, &st) == 0)
            size_ = st.st_size;
    }
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;
    ~InputFile() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    bool is_open() const { return fd_ >= 0 && size_ >= 0; }
    io::FileReader reader() const { return io::FileReader(fd_, size_); }

  private:
    int fd_ = -1;
    std::int64_t size_ = -1;
};

// The creation-time line is local time; pin it.
void use_utc() {
    setenv("TZ", "UTC", 1);
    tzset();
}

std::string dump_of(const fs::path& path) {
    use_utc();
    InputFile file(path);
    if (!file.is_open()) {
        ADD_FAILURE() << "cannot open " << path;
        return "";
    }
    io::FileReader reader = file.reader();
    auto out = io::Output::memory();
    dump::dump_file(reader, out);
    return out.text_so_far();
}

// The dump up to and including the line `last`.
std::string head_through(const std::string& text, std::string_view last) {
    const auto at = text.find(std::string(last) + "\n");
    return at == std::string::npos ? text : text.substr(0, at + last.size() + 1);
}

// The lines holding any of `what`, in order.
std::vector<std::string> lines_with(const std::string& text,
                                    std::initializer_list<std::string_view> what) {
    std::vector<std::string> found;
    std::size_t start = 0;
    while (start < text.size()) {
        auto end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        const std::string line = text.substr(start, end - start);
        for (const auto w : what) {
            if (line.find(w) != std::string::npos) {
                found.push_back(line);
                break;
            }
        }
        start = end + 1;
    }
    return found;
}

std::vector<fs::path> ffmpeg_made_files() {
    std::vector<fs::path> files{kExample};
    for (const auto& entry : fs::directory_iterator(kFixtureDir)) {
        const auto ext = entry.path().extension();
        if (ext == ".asf" || ext == ".wma" || ext == ".wmv")
            files.push_back(entry.path());
    }
    return files;
}

std::vector<fs::path> sample_files() {
    std::vector<fs::path> files;
    if (!fs::is_directory(kSamplesDir))
        return files;
    for (const auto& entry : fs::directory_iterator(kSamplesDir)) {
        if (entry.is_regular_file())
            files.push_back(entry.path());
    }
    return files;
}

// The files in tests/data, with facts of each checked by hand: packet counts
// and sizes as MediaInfo's trace reads them, codecs as ffprobe names them (MP43
// is MPEG-4 v3, 85 = 0x55 MP3, 1 PCM, 352 = 0x160 WMA1, 353 = 0x161 WMA2).
struct Fixture {
    const char* name;
    int packets;
    const char* packet_size_line;
    std::vector<std::string> codec_lines;
};
const Fixture kFixtures[] = {
    {"wmv1-wmav1-p1000.asf", 74, "Packet size: 3e8/3e8 bytes", {" fourcc WMV1", " Format ID 352"}},
    {"msmpeg4-mp3-p8192.asf", 5, "Packet size: 2000/2000 bytes", {" fourcc MP43", " Format ID 85"}},
    {"msmpeg4v2-pcm-p3200.asf", 17, "Packet size: c80/c80 bytes", {" fourcc MP42", " Format ID 1"}},
    {"audio-wmav2-p1000.wma", 22, "Packet size: 3e8/3e8 bytes", {" Format ID 353"}},
    {"video-wmv2-p8192.wmv", 6, "Packet size: 2000/2000 bytes", {" fourcc WMV2"}},
};

struct Layout {
    dump::ScanState state;
    dump::FilePropertiesFields props;
};

Layout scan(io::FileReader& file) {
    Layout layout;
    auto listing = io::Output::counting();
    dump::walk_objects(file, listing, layout.state, 0, file.size(), 0);
    layout.props = dump::decode_file_properties(layout.state.file_properties);
    return layout;
}

// Walks the payloads of the packet at `offset` as the dump does; returns why
// they don't fill the packet's payload area exactly, or nothing when they do.
std::optional<std::string> misfit_in_packet(io::FileReader& file, std::int64_t offset,
                                            std::int32_t packet_size) {
    dump::RawPacketHeader raw{};
    file.read_at(offset, raw);
    const dump::PacketHeader header = dump::decode_packet_header(raw, offset, packet_size).header;
    const std::string at = "packet at " + std::to_string(offset) + ": ";
    if (!header.standard_form)
        return at + "not of the standard form";
    if (header.segment_count == 0)
        return at + "no payload";
    dump::PayloadCursor cursor{offset + header.header_length,
                               dump::wrap_i32(std::int64_t{header.packet_size} -
                                              header.padding_length - header.header_length)};
    auto out = io::Output::memory();
    for (int k = 0; k < header.segment_count; ++k) {
        if (dump::dump_segment(file, out, header, k, cursor))
            return at + "payload walk ended early";
    }
    for (const auto warning : kMisfitWarnings) {
        if (out.text_so_far().find(warning) != std::string::npos)
            return at + std::string(warning);
    }
    const std::int64_t padding_start = header.end() - header.padding_length;
    if (cursor.remaining != 0 || cursor.position != padding_start) {
        return at + "payloads end at " + std::to_string(cursor.position) + " with " +
               std::to_string(cursor.remaining) + " bytes left, padding starts at " +
               std::to_string(padding_start);
    }
    return std::nullopt;
}

// Every counted packet, each spaced by the minimum packet size, must be filled
// exactly by its payloads, and the packets must fill the data object.
void expect_payloads_tile_packets(const fs::path& path) {
    SCOPED_TRACE(path.filename().string());
    InputFile input(path);
    ASSERT_TRUE(input.is_open());
    io::FileReader file = input.reader();
    const Layout layout = scan(file);
    const std::int64_t first = layout.state.first_packet_offset;
    ASSERT_GE(first, kDataObjectToFirstPacket);
    const std::int64_t count = layout.props.data_packets;
    const std::int64_t spacing = layout.props.min_packet_size;
    ASSERT_GT(count, 0);
    ASSERT_GT(spacing, 0);

    std::array<std::uint8_t, 8> size_field{};
    file.read_at(first - kDataObjectToFirstPacket + kObjectSizeField, size_field);
    const auto data_object_size = io::le64s(size_field, 0);
    EXPECT_EQ(first + count * spacing, first - kDataObjectToFirstPacket + data_object_size);

    for (std::int64_t i = 0; i < count; ++i) {
        const auto misfit =
            misfit_in_packet(file, first + i * spacing, static_cast<std::int32_t>(spacing));
        ASSERT_FALSE(misfit.has_value()) << "packet " << i << ": " << *misfit;
    }
}

}  // namespace

TEST(RealFiles, FfmpegMadeFilesAreAllPresent) {
    // The directory scans would pass vacuously on a checkout without them.
    EXPECT_TRUE(fs::is_regular_file(kExample));
    for (const auto& f : kFixtures)
        EXPECT_TRUE(fs::is_regular_file(kFixtureDir / f.name)) << f.name;
}

TEST(RealFiles, PayloadsOfFfmpegMadeFilesFillEachPacketUpToItsPadding) {
    for (const auto& path : ffmpeg_made_files())
        expect_payloads_tile_packets(path);
}

TEST(RealFiles, DumpOfEveryFileEndsAfterThePacketsItHolds) {
    auto files = ffmpeg_made_files();
    for (const auto& path : sample_files())
        files.push_back(path);
    for (const auto& path : files) {
        SCOPED_TRACE(path.filename().string());
        InputFile input(path);
        ASSERT_TRUE(input.is_open());
        io::FileReader file = input.reader();
        const Layout layout = scan(file);
        const std::string text = dump_of(path);

        // One block per counted packet that starts inside the file.
        const std::int64_t first = layout.state.first_packet_offset;
        const std::int64_t count = layout.props.data_packets;
        const std::int64_t spacing = layout.props.min_packet_size;
        std::int64_t present = 0;
        if (first >= 0 && first < file.size() && count > 0)
            present = spacing == 0 ? 1 : (file.size() - first + spacing - 1) / spacing;
        const auto expected = static_cast<std::size_t>(std::min(count, present));
        EXPECT_EQ(count_of(text, " Dumping packet at offset "), expected);
    }
}

TEST(RealFiles, ExampleHeaderBlocksAgreeWithOtherTools) {
    // Checked against the object offsets, file and stream properties that
    // MediaInfo's trace and ffprobe report for this file.
    EXPECT_EQ(head_through(dump_of(kExample), "First data packet: offset 709"),
              "0: header, size 635\n"
              " 1e: file header, size 80\n"
              " 86: Unknown GUID 5fbf03b5-a92e-11cf-8ee30c0c205365, size 0x132\n"
              " 122: stream header, size 109\n"
              " 1a7: stream header, size 90\n"
              " 219: Unknown GUID 86d15240-311d-11d0-a3a40a0c9348f6, size 0x98\n"
              "293: data chunk, size 76826\n"
              "12ec5: index, size 80\n"
              "Dumping file header: \n"
              "File size 77613\n"
              "Creation time Thu Jan  1 00:00:00 1970\n"
              "Number of packets: 24\n"
              "Total time: 6.146 s\n"
              "Play time: 3.046 s\n"
              "Play start time: 3.1 s\n"
              "Flags: 2\n"
              "Packet size: c80/c80 bytes\n"
              "Uncompressed frame size: 27100 bytes\n"
              "Unknown field:  0 \n"
              "Dumping stream header: \n"
              " Stream ID 1\n"
              " Total data size: 37\n"
              " Variable data size: 0\n"
              " Unknown fields: 0x0 0x0\n"
              " Video stream\n"
              " biSize 44\n"
              " fourcc WMV2\n"
              "Dumping stream header: \n"
              " Stream ID 2\n"
              " Total data size: 28\n"
              " Variable data size: 8\n"
              " Unknown fields: 0x0 0x0\n"
              " Audio stream\n"
              " Format ID 353\n"
              " Interleave data concealment\n"
              " Parameters: 1 185 185 1 0\n"
              "First data packet: offset 709\n");
}

TEST(RealFiles, ExampleFirstPacketHoldsAnAudioAndAVideoPayload) {
    // 709 + 24 packets of 3200 bytes end at 77509 = 0x12ec5, the index.
    const std::string text = dump_of(kExample);
    EXPECT_EQ(count_of(text, " Dumping packet at offset "), 24u);
    EXPECT_NE(text.find("\n Dumping packet at offset 74309\n"), std::string::npos);
    EXPECT_EQ(head_through(text.substr(text.find("\n\n Dumping packet at offset 709\n")),
                           " Stream 1, seq_num 1: Fragment length 2969"),
              "\n\n Dumping packet at offset 709\n"
              "82 00 00 01 5d 00 00 00 00 2e 00 82 02 01 00 00 \n"
              "Global packet flags 1\n"
              "Segment format 93\n"
              "Send packet time: 0 s\n"
              "Duration: 0.046 s\n"
              "2 segments\n"
              "Segments area: 3188 bytes\n"
              " Segment 0 at offset 721:\n"
              "02 01 00 00 00 00 08 b9 00 00 00 1c 0c 00 00 b9 00 c3 ff 40 \n"
              "  Local flags 8 ( Single fragment )\n"
              "  Fragment offset 0\n"
              "  Object length 185\n"
              "  Object time 3.100 s\n"
              " Stream 2, seq_num 1: Fragment length 185\n"
              " Segment 1 at offset 923:\n"
              "81 01 00 00 00 00 08 63 17 00 00 4a 0c 00 00 99 0b 00 20 60 \n"
              "Key frame\n"
              "  Local flags 8 ( Single fragment )\n"
              "  Fragment offset 0\n"
              "  Object length 5987\n"
              "  Object time 3.146 s\n"
              " Stream 1, seq_num 1: Fragment length 2969\n");
}

TEST(RealFiles, FixtureHeadersAgreeWithOtherTools) {
    for (const auto& f : kFixtures) {
        SCOPED_TRACE(f.name);
        const std::string text = dump_of(kFixtureDir / f.name);
        EXPECT_EQ(count_of(text, " Dumping packet at offset "),
                  static_cast<std::size_t>(f.packets));
        EXPECT_NE(text.find("\nNumber of packets: " + std::to_string(f.packets) + "\n"),
                  std::string::npos);
        EXPECT_NE(text.find(std::string("\n") + f.packet_size_line + "\n"), std::string::npos);
        const std::vector<std::string> codecs = lines_with(text, {" fourcc ", " Format ID "});
        EXPECT_EQ(codecs, f.codec_lines);
    }
}

TEST(RealFiles, PayloadsOfIntactSamplesFillEachPacketUpToItsPadding) {
    // Real-world files whose packets are whole, some with grouped payloads;
    // cwe-835-loop.wma has a damaged header but intact packets.
    if (!fs::is_directory(kSamplesDir))
        GTEST_SKIP() << kSamplesDir << " is absent";
    for (const char* name : {"elephant.asf", "issue-57.wma", "musicbrainz-tagged.wma",
                             "thirty-dirty-birds.wma", "cwe-835-loop.wma"}) {
        if (fs::is_regular_file(kSamplesDir / name))
            expect_payloads_tile_packets(kSamplesDir / name);
    }
}

TEST(RealFiles, DamagedSamplesShowWhatTheyHold) {
    if (!fs::is_directory(kSamplesDir))
        GTEST_SKIP() << kSamplesDir << " is absent";

    // A header child of size 0 ends the header's walk: the stream objects
    // after it are neither listed nor reported, so the offset line stays hex.
    const fs::path zero_size = kSamplesDir / "cwe-835-loop.wma";
    if (fs::is_regular_file(zero_size)) {
        const std::string text = dump_of(zero_size);
        EXPECT_EQ(head_through(text, "Dumping file header: "),
                  "0: header, size 468\n"
                  " 1e: file header, size 80\n"
                  " 86: Unknown GUID 5fbf03b5-a92e-11cf-8ee30c0c205365, size 0x22\n"
                  " b4: Unknown GUID d2d0a440-e307-11d2-97f00a0c95ea850, size 0x-24\n"
                  "Illegal length of chunk\n"
                  "1ec: data chunk, size 35226\n"
                  "Dumping file header: \n");
        EXPECT_EQ(count_of(text, "Dumping stream header: "), 0u);
        EXPECT_NE(text.find("\nFirst data packet: offset 21e\n"), std::string::npos);
        EXPECT_EQ(count_of(text, " Dumping packet at offset "), 11u);
    }

    // The file-properties GUID is altered in its last byte, and the next
    // child claims the whole file: no packet count, so no packet.
    const fs::path altered = kSamplesDir / "max-object-headers.wma";
    if (fs::is_regular_file(altered)) {
        EXPECT_EQ(dump_of(altered),
                  "0: header, size 468\n"
                  " 1e: Unknown GUID 8cabdca1-a947-11cf-8ee40c0c20530, size 0x0\n"
                  " 36: Unknown GUID 0-0-0-00000000, size 0x35718\n"
                  "1ec: data chunk, size 35226\n"
                  "Dumping file header: \n"
                  "File size 0\n"
                  "Creation time Mon Jan  1 00:00:00 1601\n"
                  "Number of packets: 0\n"
                  "Total time: 0 s\n"
                  "Play time: 0 s\n"
                  "Play start time: 0 s\n"
                  "Flags: 0\n"
                  "Packet size: 0/0 bytes\n"
                  "Uncompressed frame size: 0 bytes\n"
                  "Unknown field:  0 \n"
                  "First data packet: offset 21e\n");
    }

    // A download cut short: 4 of its 8948-byte packets start inside the file.
    const fs::path truncated = kSamplesDir / "plain.wma";
    if (fs::is_regular_file(truncated)) {
        const std::string text = dump_of(truncated);
        EXPECT_EQ(count_of(text, " Dumping packet at offset "), 4u);
        const std::string last_line = "Truncated file: 4 of 657 packets present\n";
        ASSERT_GE(text.size(), last_line.size());
        EXPECT_EQ(text.substr(text.size() - last_line.size()), last_line);
    }
}

TEST(RealFiles, EveryFileIsSentWithinItsLeakyBucketAndInTime) {
    std::vector<fs::path> files = ffmpeg_made_files();
    for (const fs::path& f : sample_files())
        files.push_back(f);
    for (const auto& entry : fs::directory_iterator(kFixtureDir / "gstreamer")) {
        if (entry.is_regular_file())
            files.push_back(entry.path());
    }
    for (const fs::path& path : files) {
        SCOPED_TRACE(path.string());
        const InputFile input(path);
        ASSERT_TRUE(input.is_open());
        io::FileReader reader = input.reader();
        auto out = io::Output::memory();
        check::CheckView verdict(out, check::CheckView::Format::text);
        decode::decode_file(reader, verdict, verdict, path.string());
        const std::string text = out.text_so_far();
        EXPECT_EQ(text.find("[leaky-bucket]"), std::string::npos) << text;
        EXPECT_EQ(text.find("[late-payload]"), std::string::npos) << text;
    }
}
