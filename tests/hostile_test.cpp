// Files made to break parsers: truncated, sparse, deeply nested, with sizes and
// counts at their limits. Every run must end promptly, with output within the
// linear bound and, where the format fixes it, exactly the expected warning.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "../fuzz/output_bound.hpp"
#include "app/run.hpp"
#include "asf_writer.hpp"
#include "decode_helpers.hpp"

using namespace asftest;
using asfinspect::dump::ObjectKind;
using asfinspect::fuzz::output_bound;
using asfinspect::io::FileReader;
using asfinspect::io::Output;

extern char** environ;

namespace {

// Generous even under the sanitizers: every input here dumps in well under a second.
constexpr double kPromptSeconds = 20.0;
constexpr std::int64_t kPacketCount = std::int64_t{1} << 62;
constexpr const char* kPacketCountText = "4611686018427387904";

// Layout of the files built here and of the example file.
constexpr std::size_t kObjectHeader = 24;        // GUID and size
constexpr std::size_t kSizeField = 16;           // within the object header
constexpr std::size_t kPacketCountField = 32;    // within the file-properties payload
constexpr std::size_t kMinPacketSizeField = 68;  // within the file-properties payload
constexpr std::size_t kDataObjectHead = 50;      // object header, File ID, count, reserved

double seconds_since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The whole dump of `reader`, checked for time and the output bound.
std::string checked_dump(FileReader& reader) {
    const auto start = std::chrono::steady_clock::now();
    auto out = Output::memory();
    asfinspect::dump::dump_file(reader, out);
    EXPECT_LT(seconds_since(start), kPromptSeconds);
    EXPECT_LE(out.bytes_written(), output_bound(static_cast<std::uint64_t>(reader.size())));
    return out.text_so_far();
}

std::string checked_dump(const Bytes& file) {
    FileReader reader(file);
    return checked_dump(reader);
}

bool ends_with_line(const std::string& text, const std::string& line) {
    return text.ends_with("\n" + line + "\n");
}

Bytes read_file(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::uint64_t le_at(const Bytes& b, std::size_t at, int width) {
    std::uint64_t v = 0;
    for (int i = width - 1; i >= 0; --i)
        v = v << 8 | b.at(at + static_cast<std::size_t>(i));
    return v;
}

// A header with one file-properties object, then a data object holding `packets`.
Bytes file_with_packets(std::uint32_t packet_size, std::int64_t count, const Bytes& packets) {
    FileProps props;
    props.packets = count;
    props.min_packet = packet_size;
    props.max_packet = packet_size;
    return cat({header_object({file_properties(props)}), data_object(packets)});
}

// Where the packets of file_with_packets begin: after the header object (30
// bytes of its own, 104 of file properties) and the data object's head.
constexpr std::size_t kFirstPacket = 30 + 104 + kDataObjectHead;

// ---------------------------------------------------------------------------
// The real binary, for what only a process shows: exit status, stderr, signals.

struct Child {
    pid_t pid = -1;
    int stderr_fd = -1;
};

// Starts the binary on `path` with stdout on `stdout_fd`; SIGPIPE is left at
// its default or ignored, as a shell or a service would leave it.
Child spawn_binary(const std::string& path, int stdout_fd, bool ignore_sigpipe) {
    int err_pipe[2];
    if (pipe2(err_pipe, O_CLOEXEC) != 0)
        std::abort();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, stdout_fd, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err_pipe[1], STDERR_FILENO);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t defaults;
    sigemptyset(&defaults);
    if (!ignore_sigpipe)
        sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF);
    // An ignored signal stays ignored across exec.
    struct sigaction old_action {};
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    if (ignore_sigpipe)
        sigaction(SIGPIPE, &ignore, &old_action);
    const char* argv[] = {ASFINSPECT_BINARY, path.c_str(), nullptr};
    Child child;
    if (posix_spawn(&child.pid, ASFINSPECT_BINARY, &actions, &attr, const_cast<char**>(argv),
                    environ) != 0) {
        child.pid = -1;
    }
    if (ignore_sigpipe)
        sigaction(SIGPIPE, &old_action, nullptr);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    close(err_pipe[1]);
    child.stderr_fd = err_pipe[0];
    return child;
}

std::string read_all(int fd) {
    std::string text;
    char buf[4096];
    ssize_t n = 0;
    while ((n = read(fd, buf, sizeof buf)) > 0)
        text.append(buf, static_cast<std::size_t>(n));
    close(fd);
    return text;
}

// Waits for the child up to the deadline; kills it after that. Returns the
// wait status, or -1 when it had to be killed.
int wait_promptly(pid_t pid) {
    const auto start = std::chrono::steady_clock::now();
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (seconds_since(start) > kPromptSeconds) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return status;
}

// A file whose dump is tens of gigabytes: one-byte packets of the other form,
// each listing 255 segments.
Bytes huge_dump_file() {
    return file_with_packets(1, kPacketCount, Bytes(1 << 20, 0x7f));
}

}  // namespace

TEST(HostileFiles, RealWorldSamplesEndPromptlyWithinTheBound) {
    const std::filesystem::path dir = ASFINSPECT_SAMPLES_DIR;
    if (!std::filesystem::is_directory(dir))
        GTEST_SKIP() << "no samples at " << dir;
    int seen = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        SCOPED_TRACE(entry.path().string());
        const int fd = open(entry.path().c_str(), O_RDONLY);
        ASSERT_GE(fd, 0);
        FileReader reader(fd, lseek(fd, 0, SEEK_END));
        const std::string text = checked_dump(reader);
        close(fd);
        EXPECT_TRUE(text.ends_with("\n"));
        ++seen;
    }
    EXPECT_GT(seen, 0);
}

TEST(HostileFiles, TruncatedExampleReportsTheMissingPackets) {
    const Bytes whole =
        read_file(std::filesystem::path(ASFINSPECT_SOURCE_DIR) / "examples" / "testsrc.wmv");
    if (whole.empty())
        GTEST_SKIP() << "example file absent";
    // The example is laid out as header object, then data object.
    const std::size_t header_size = le_at(whole, kSizeField, 8);
    const Guid& fp_guid = guid_of(ObjectKind::file_properties);
    const auto fp_at = static_cast<std::size_t>(
        std::search(whole.begin(), whole.end(), fp_guid.bytes.begin(), fp_guid.bytes.end()) -
        whole.begin());
    ASSERT_LT(fp_at, header_size);
    const Guid& data_guid = guid_of(ObjectKind::data);
    ASSERT_TRUE(std::equal(data_guid.bytes.begin(), data_guid.bytes.end(),
                           whole.begin() + static_cast<std::ptrdiff_t>(header_size)));
    const std::size_t fp_payload = fp_at + kObjectHeader;
    const auto count = static_cast<std::int64_t>(le_at(whole, fp_payload + kPacketCountField, 8));
    const auto spacing =
        static_cast<std::int64_t>(le_at(whole, fp_payload + kMinPacketSizeField, 4));
    ASSERT_GT(spacing, 0);
    const auto first_packet = static_cast<std::int64_t>(header_size + kDataObjectHead);

    constexpr int kCuts = 64;
    for (int i = 0; i < kCuts; ++i) {
        const std::size_t length = whole.size() * static_cast<std::size_t>(i) / kCuts;
        SCOPED_TRACE("cut at " + std::to_string(length));
        const Bytes cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(length));
        const std::string text = checked_dump(cut);
        if (length < header_size + kObjectHeader) {
            EXPECT_TRUE(text.ends_with("Data chunk not found\n"));
            continue;
        }
        const std::int64_t beyond = static_cast<std::int64_t>(length) - first_packet;
        const std::int64_t present =
            beyond <= 0 ? 0 : std::min(count, (beyond + spacing - 1) / spacing);
        EXPECT_EQ(count_of(text, " Dumping packet at offset "), static_cast<std::size_t>(present));
        if (present < count) {
            EXPECT_TRUE(ends_with_line(text, "Truncated file: " + std::to_string(present) + " of " +
                                                 std::to_string(count) + " packets present"));
        } else {
            EXPECT_EQ(count_of(text, "Truncated file"), 0u);
        }
    }
}

TEST(HostileFiles, SparseEightGibibytesOfZerosEndAtTheFirstObject) {
    setenv("TZ", "UTC", 1);
    tzset();
    TempFile file;
    const int fd = open(file.path().c_str(), O_RDWR);
    ASSERT_GE(fd, 0);
    constexpr std::int64_t kEightGiB = std::int64_t{8} << 30;
    ASSERT_EQ(ftruncate(fd, kEightGiB), 0);
    FileReader reader(fd, kEightGiB);
    const std::string text = checked_dump(reader);
    close(fd);
    EXPECT_TRUE(
        text.starts_with("0: Unknown GUID 0-0-0-00000000, size 0x-24\n"
                         "Illegal length of chunk\n"
                         "Dumping file header: \n"
                         "File size 0\n"
                         "Creation time Mon Jan  1 00:00:00 1601\n"));
    EXPECT_TRUE(text.ends_with("Data chunk not found\n"));
}

TEST(HostileFiles, HeaderNestedAHundredThousandDeepStopsAtSixtyFour) {
    constexpr int kLevels = 100'000;
    constexpr std::size_t kLevelBytes = 30;  // object header and the header preamble
    Bytes file;
    const std::size_t total = kLevels * kLevelBytes;
    for (std::size_t level = 0; level < kLevels; ++level) {
        put(file, guid_of(ObjectKind::header));
        put64(file, total - level * kLevelBytes);
        put32(file, 1);
        put16(file, 0x0201);
    }
    const std::string text = checked_dump(file);
    std::string listing;
    for (std::size_t depth = 0; depth <= 64; ++depth) {
        std::ostringstream line;
        char size[32];
        std::snprintf(size, sizeof size, "%g",
                      static_cast<double>(total - depth * kLevelBytes - kObjectHeader));
        line << std::string(depth, ' ') << std::hex << depth * kLevelBytes << ": header, size "
             << size << "\n";
        listing += line.str();
    }
    listing += "Header nesting too deep\n";
    EXPECT_EQ(text.substr(0, text.find("Dumping file header")), listing);
    EXPECT_TRUE(text.ends_with("Data chunk not found\n"));
}

TEST(HostileFiles, ObjectSizesOfZeroAndMinusOneEndTheirRun) {
    const Bytes following = object(guid_of(ObjectKind::simple_index), Bytes(8, 0));
    // At the top level the walk ends at once: a data object of size 0 or -1
    // sets no packet offset, and the object after it is never reached.
    for (const std::int64_t size : {0, -1}) {
        SCOPED_TRACE(size);
        const std::string text =
            checked_dump(cat({object_with_size(guid_of(ObjectKind::data), size), following}));
        EXPECT_TRUE(text.starts_with("0: data chunk, size " +
                                     std::to_string(size - std::int64_t{kObjectHeader}) +
                                     "\nIllegal length of chunk\nDumping file header: \n"));
        EXPECT_TRUE(text.ends_with("\nData chunk not found\n"));
    }
    // Inside a header only the header's run ends; the top-level walk goes on.
    Bytes header_payload{1, 0, 0, 0, 1, 2};
    put(header_payload,
        object_with_size(guid_of(ObjectKind::stream_properties), -1, Bytes(100, 0)));
    const std::string text =
        checked_dump(cat({object(ObjectKind::header, header_payload), following}));
    EXPECT_TRUE(
        text.starts_with("0: header, size 130\n"
                         " 1e: stream header, size -25\n"
                         "Illegal length of chunk\n"
                         "9a: index, size 8\n"));
    EXPECT_EQ(count_of(text, "Dumping stream header"), 0u);
}

TEST(HostileFiles, HugePacketCountWithTinyZeroAndHugePacketSizes) {
    const Bytes packets = padded(packet_head(PacketHead{.length_type_flags = 0}), 64);
    // Size 1: a packet at every byte up to the end of the file, then the count.
    {
        const std::string text = checked_dump(file_with_packets(1, kPacketCount, packets));
        EXPECT_EQ(count_of(text, " Dumping packet at offset "), packets.size());
        EXPECT_TRUE(ends_with_line(
            text, "Truncated file: 64 of " + std::string(kPacketCountText) + " packets present"));
    }
    // Size 0: every packet would sit at the same offset.
    {
        const std::string text = checked_dump(file_with_packets(0, kPacketCount, packets));
        EXPECT_EQ(count_of(text, " Dumping packet at offset "), 1u);
        EXPECT_TRUE(ends_with_line(text, "Packet size is 0: later packets repeat the first"));
    }
    // Size 0xffffffff: the second packet lies 4 GiB on, past the end; the
    // first one's size, taken as signed, is -1.
    {
        const std::string text = checked_dump(file_with_packets(0xffffffff, kPacketCount, packets));
        EXPECT_EQ(count_of(text, " Dumping packet at offset "), 1u);
        EXPECT_NE(text.find("Segments area: -12 bytes\n"), std::string::npos);
        EXPECT_TRUE(ends_with_line(
            text, "Truncated file: 1 of " + std::string(kPacketCountText) + " packets present"));
    }
}

TEST(HostileFiles, GroupedPayloadWhoseLengthsDoNotAddUp) {
    constexpr std::uint32_t kPacket = 64;
    // Object len 10, but the sub-payloads take 5 and then 7 bytes: the second
    // one overruns the payload and ends it; the packet's next segment follows.
    Bytes payload{1, 0, 0, 0, 0, 0, 1, 100};
    put16(payload, 10);
    put(payload, Bytes{4, 0xcc, 0xcc, 0xcc, 0xcc, 6, 0xcc, 0xcc, 0xcc, 0xcc, 0xcc, 0xcc});
    const Bytes packet = padded(cat({packet_head(PacketHead{.payload_flags = 0x82}), payload,
                                     single_payload(2, 9, 5, 0, 5)}),
                                kPacket);
    const std::string text = checked_dump(file_with_packets(kPacket, 1, packet));
    EXPECT_NE(text.find(" Stream 1, seq_num 0: Fragment length 4\n"
                        " Stream 1, seq_num 1: Fragment length 6\n"
                        "Sub-payload overruns its payload\n"
                        " Segment 1 at offset "),
              std::string::npos);
    EXPECT_NE(text.find(" Stream 2, seq_num 9: Fragment length 5\n"), std::string::npos);

    // A sub-payload running past the packet's end ends the payload too.
    Bytes long_payload{1, 0, 0, 0, 0, 0, 1, 100};
    put16(long_payload, 200);
    put8(long_payload, 199);
    const std::string past_packet = checked_dump(file_with_packets(
        kPacket, 1,
        padded(cat({packet_head(PacketHead{.payload_flags = 0x81}), long_payload}), 300)));
    EXPECT_TRUE(ends_with_line(past_packet,
                               " Stream 1, seq_num 0: Fragment length 199\n"
                               "Sub-payload overruns its payload"));

    // The file ending inside the walk ends the packet's walk.
    Bytes cut_payload{1, 0, 0, 0, 0, 0, 1, 100};
    put16(cut_payload, 40);
    put8(cut_payload, 3);
    put(cut_payload, Bytes(3, 0xcc));
    const std::string cut = checked_dump(file_with_packets(
        kPacket, 1, cat({packet_head(PacketHead{.payload_flags = 0x82}), cut_payload})));
    EXPECT_TRUE(ends_with_line(cut,
                               " Stream 1, seq_num 0: Fragment length 3\n"
                               "Unexpected end of file"));
}

TEST(HostileFiles, PacketWalkStopsAtTheNextPacket) {
    // Packet Length 0xffff, one grouped payload whose 0xffff bytes of
    // sub-payloads run over the following packets: 24 header bytes, then
    // zeros, each a sub-payload of length 0. The walk ends at the next packet.
    Bytes packet = packet_head(
        PacketHead{.length_type_flags = 0x41, .packet_length = 0xffff, .payload_flags = 0x81});
    put(packet, Bytes{1, 0, 0, 0, 0, 0, 1, 100, 0xff, 0xff});
    ASSERT_EQ(packet.size(), 24u);
    constexpr std::size_t kBytes = 70'000;
    const Bytes alone = padded(packet, kBytes);  // one packet, then zeros
    Bytes packed;
    while (packed.size() + packet.size() <= kBytes)
        put(packed, packet);
    for (const auto& [spacing, packets] :
         {std::pair<std::uint32_t, const Bytes&>{1, alone}, {24, packed}}) {
        SCOPED_TRACE(spacing);
        const std::int64_t count = spacing == 1 ? 1 : static_cast<std::int64_t>(packed.size() / 24);
        const std::string text = checked_dump(file_with_packets(spacing, count, packets));
        EXPECT_EQ(count_of(text, " Dumping packet at offset "), static_cast<std::size_t>(count));
        // One sub-payload line at most per packet, then its walk ends.
        EXPECT_LE(count_of(text, ": Fragment length "), static_cast<std::size_t>(count));
        EXPECT_EQ(count_of(text, "\nSub-payload overruns its payload\n") +
                      count_of(text, "\nUnexpected end of file\n"),
                  static_cast<std::size_t>(count));
    }
}

TEST(HostileFiles, WorstHonestAmplifierUsesMostOfTheBound) {
    // Packets one byte apart over bytes of 0x7f: each of the other form with
    // 255 segments, the largest dump per input byte known. The bound holds it,
    // and is close enough to it that a dump half as long again fails.
    const Bytes file = file_with_packets(1, kPacketCount, Bytes(4000, 0x7f));
    FileReader reader(file);
    auto out = Output::counting();
    asfinspect::dump::dump_file(reader, out);
    EXPECT_LE(out.bytes_written(), output_bound(file.size()));
    EXPECT_GT(out.bytes_written() * 3, output_bound(file.size()) * 2);
}

TEST(HostileFiles, PaddingLargerThanThePacket) {
    constexpr std::uint32_t kPacket = 64;
    // 65535 bytes of padding in a 64-byte packet: the area is negative, the
    // walk still runs and the next packet follows at its place.
    const Bytes packet =
        padded(cat({packet_head(PacketHead{.length_type_flags = 0x10, .padding_word = 0xffff}),
                    single_payload(1, 0, 10, 0, 0)}),
               kPacket);
    const std::string text = checked_dump(file_with_packets(kPacket, 2, cat({packet, packet})));
    EXPECT_NE(text.find("Padding size [word] -1\n"), std::string::npos);
    EXPECT_EQ(count_of(text, "Segments area: -65484 bytes\n"), 2u);
    EXPECT_EQ(count_of(text, " Dumping packet at offset "), 2u);
    EXPECT_NE(text.find(" Dumping packet at offset " + std::to_string(kFirstPacket + kPacket)),
              std::string::npos);
}

TEST(HostileFiles, FifosAndCharacterDevicesAreRefusedAtOnce) {
    const std::string kReadAtOffsets =
        "ASF is read at offsets, so it must be a file (a FIFO, a socket or standard input can't "
        "be)";
    // A FIFO would block the open until a writer came; /dev/zero would dump as
    // an empty file. Neither can be read as a file of known length.
    char dir[] = "/tmp/asfinspect-test-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string fifo = std::string(dir) + "/fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    for (const auto& [path, reason] : {std::pair<std::string, std::string>{fifo, kReadAtOffsets},
                                       {"/dev/zero", "Block device required"}}) {
        SCOPED_TRACE(path);
        TempFile out;
        const int out_fd = open(out.path().c_str(), O_WRONLY);
        ASSERT_GE(out_fd, 0);
        const Child child = spawn_binary(path, out_fd, false);
        close(out_fd);
        ASSERT_GT(child.pid, 0);
        const int status = wait_promptly(child.pid);
        const std::string err = read_all(child.stderr_fd);
        ASSERT_NE(status, -1) << "still running";
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 1);
        EXPECT_EQ(err, "asfinspect: " + path + ": cannot read: " + reason + "\n");
        EXPECT_EQ(read_file(out.path()).size(), 0u);
    }
    unlink(fifo.c_str());
    rmdir(dir);
}

TEST(HostileFiles, WriteErrorOnAFullDeviceExitsOne) {
    // A small dump fails at the final flush, a huge one in the middle of the
    // packet loop, which must then stop rather than format the rest.
    for (const Bytes& bytes : {file_with_packets(64, 1, Bytes(64, 0)), huge_dump_file()}) {
        TempFile file(bytes);
        const int full = open("/dev/full", O_WRONLY);
        ASSERT_GE(full, 0);
        const Child child = spawn_binary(file.path(), full, false);
        close(full);
        ASSERT_GT(child.pid, 0);
        const int status = wait_promptly(child.pid);
        const std::string err = read_all(child.stderr_fd);
        ASSERT_NE(status, -1) << "still running";
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 1);
        EXPECT_EQ(err, "asfinspect: write error: No space left on device\n");
    }
}

TEST(HostileFiles, ReaderClosingThePipeEarlyEndsTheRun) {
    TempFile file(huge_dump_file());
    for (const bool ignore_sigpipe : {false, true}) {
        SCOPED_TRACE(ignore_sigpipe ? "SIGPIPE ignored" : "SIGPIPE default");
        int out_pipe[2];
        ASSERT_EQ(pipe2(out_pipe, O_CLOEXEC), 0);  // the child keeps no read end
        const Child child = spawn_binary(file.path(), out_pipe[1], ignore_sigpipe);
        close(out_pipe[1]);
        ASSERT_GT(child.pid, 0);
        // Like `head -1`: one line, then the read end closes.
        std::string first;
        char c = 0;
        while (read(out_pipe[0], &c, 1) == 1 && c != '\n')
            first += c;
        close(out_pipe[0]);
        EXPECT_EQ(first, "0: header, size 110");
        const int status = wait_promptly(child.pid);
        const std::string err = read_all(child.stderr_fd);
        ASSERT_NE(status, -1) << "still running";
        if (ignore_sigpipe) {
            ASSERT_TRUE(WIFEXITED(status));
            EXPECT_EQ(WEXITSTATUS(status), 1);
            EXPECT_EQ(err, "asfinspect: write error: Broken pipe\n");
        } else {
            ASSERT_TRUE(WIFSIGNALED(status));
            EXPECT_EQ(WTERMSIG(status), SIGPIPE);
        }
    }
}

TEST(HostileFiles, DataObjectEndingPastTheLargestOffsetEndsAtTheEndOfTheFile) {
    // A header that agrees with itself: 92,233,720,368,547,757 packets of 100
    // bytes, whose Data Object's end lies past the largest 64-bit offset.
    constexpr std::uint64_t kCount = 92'233'720'368'547'757;
    FileSpec spec;
    spec.packet_size = 100;
    spec.packets_count = kCount;
    spec.data_object_size = static_cast<std::int64_t>(50 + kCount * 100);
    spec.raw_packets = Bytes(100, 0);
    const Bytes file = build(spec);
    const std::string check = check_of(file);
    EXPECT_TRUE(
        check.starts_with("0x195: error [truncated-file]: the file is cut short inside the "
                          "data: 1 of 92233720368547757 packets are whole, and "
                          "9223372036854775600 bytes are missing\n"))
        << check;
    EXPECT_LE(tree_of(file).size(), output_bound(file.size()));
    EXPECT_LE(json_of(file).size(), output_bound(file.size()));
}

TEST(HostileFiles, WriteErrorStopsTheDecodeInEveryMode) {
    // The tree of these million one-byte packets runs to hundreds of
    // megabytes; on a full device the decode ends at the first failed write.
    const Bytes bytes = huge_dump_file();
    using asfinspect::app::Format;
    using asfinspect::app::Show;
    for (const auto& [show, format] :
         {std::pair{Show::tree, Format::text}, std::pair{Show::tree, Format::json},
          std::pair{Show::check, Format::text}}) {
        SCOPED_TRACE(static_cast<int>(format));
        FileReader reader(bytes);
        const int full = open("/dev/full", O_WRONLY);
        ASSERT_GE(full, 0);
        Output out(full);
        auto err = Output::memory();
        asfinspect::app::Options options;
        options.show = show;
        options.format = format;
        EXPECT_EQ(asfinspect::app::inspect_input(reader, out, err, options, "f"), 1);
        close(full);
        EXPECT_LT(out.bytes_written(), 1u << 20);
        EXPECT_EQ(err.text_so_far(), "asfinspect: write error: No space left on device\n");
    }
}

namespace {

std::uint64_t g_reads = 0;
ssize_t counted_pread(int fd, void* buf, std::size_t n, off_t offset) {
    ++g_reads;
    return pread(fd, buf, n, offset);
}

// An Index Object made to cost its check the most, in a file of about 10 MB:
// 127 specifiers of cleanpoints, whose entries point at packets picked at
// random among more tiny ones than any memory of packets holds, with a Media
// Object Index Object between the data and the index. Packet k is 9 bytes, a
// header and a payload of no bytes that starts a key frame of stream
// k % 127 + 1. Every entry points at a key frame of its stream but the first,
// which points one packet on.
}  // namespace

TEST(HostileFiles, IndexOfScatteredEntriesOverTinyPacketsChecksPromptly) {
    constexpr std::uint32_t kStreams = 127, kPacket = 9, kPackets = 555'555, kEntries = 9'800;
    FileSpec spec;
    spec.packet_size = kPacket;
    spec.streams.clear();
    for (std::uint16_t s = 1; s <= kStreams; ++s)
        spec.streams.push_back({s, true});
    spec.raw_packets.emplace();
    // Length Type Flags 0 and Property Flags 0x40: of the payload, only its stream.
    for (std::uint32_t k = 0; k < kPackets; ++k)
        put(*spec.raw_packets, Bytes{0, 0x40, 0, 0, 0, 0, 0, 0, std::uint8_t(0x81 + k % kStreams)});
    spec.play_duration = std::uint64_t{kEntries} * 10'000'000;
    Bytes index{0xe8, 0x03, 0, 0, kStreams, 0, 1, 0, 0, 0};  // 1 s apart, one block
    for (std::uint16_t s = 1; s <= kStreams; ++s) {
        put16(index, s);
        put16(index, 3);
    }
    put32(index, kEntries);
    index.resize(index.size() + 8 * kStreams, 0);  // Block Positions
    const std::size_t first_offset = index.size();
    std::mt19937_64 rng(7);
    for (std::uint32_t i = 0; i < kEntries * kStreams; ++i) {
        const std::uint64_t k = rng() % (kPackets / kStreams) * kStreams + i % kStreams;
        put32(index, (k + (i == 0 ? 1 : 0)) * kPacket);
    }
    const Bytes index_object = object(registry_guid("D6E229D3-35DA-11D1-9034-00A0C90349BE"), index);
    spec.header_extension_data = object(registry_guid("D6E229DF-35DA-11D1-9034-00A0C90349BE"),
                                        {0xe8, 0x03, 0, 0, 1, 0, 1, 0, 3, 0});
    // One specifier of media objects (stream 1), one entry.
    const Bytes between{1, 0, 0, 0, 1, 0, 1, 0, 0, 0, 1, 0, 2, 0, 1,
                        0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    spec.trailing =
        cat({object(registry_guid("FEB103F8-12AD-4C64-840F-2A1D2F7AD48C"), between), index_object});
    const Bytes bytes = build(spec);
    const std::size_t wrong_at = bytes.size() - index_object.size() + kObjectHeader + first_offset;

    TempFile file(bytes);
    const int fd = open(file.path().c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    FileReader reader(fd, static_cast<std::int64_t>(bytes.size()), counted_pread);
    auto out = Output::memory();
    asfinspect::check::CheckView check(out, asfinspect::check::CheckView::Format::text);
    const auto start = std::chrono::steady_clock::now();
    g_reads = 0;
    asfinspect::decode::decode_file(reader, check, check, "f");
    EXPECT_LT(seconds_since(start), kPromptSeconds);
    close(fd);
    // Reads of a KiB or more each, on average: nothing is reread for each entry.
    EXPECT_LT(g_reads, bytes.size() / 1024);
    char at[32];
    std::snprintf(at, sizeof at, "0x%zx", wrong_at);
    EXPECT_EQ(
        out.text_so_far(),
        std::string(at) + ": error [index-key-frame]: 1 of " + std::to_string(kEntries * kStreams) +
            " index entries point at a packet where no key frame of their stream starts; "
            "the first is entry 0, at packet " +
            std::to_string(le_at(bytes, wrong_at, 4) / kPacket) +
            ", for stream 1\n1 error, 0 warnings in " + std::to_string(kPackets) + " packets\n");
}
