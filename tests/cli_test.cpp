#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "app/modes.hpp"
#include "app/run.hpp"
#include "asf_writer.hpp"

using namespace asftest;
using asfinspect::dump::ObjectKind;
using asfinspect::io::Output;

namespace {

struct RunResult {
    int status = -1;
    std::string out;
    std::string err;
};

RunResult run_cli(std::vector<std::string> args) {
    std::vector<const char*> argv{"asfinspect"};
    for (const auto& a : args)
        argv.push_back(a.c_str());
    argv.push_back(nullptr);
    auto out = Output::memory();
    auto err = Output::memory();
    RunResult r;
    r.status = asfinspect::app::run(static_cast<int>(argv.size() - 1), argv.data(), out, err);
    r.out = out.text_so_far();
    r.err = err.text_so_far();
    return r;
}

// A file with a file header, `streams` stream headers and a data object of
// `packets` zero-filled packets of `packet_size` bytes.
Bytes file_with_packets(std::int64_t count, std::uint32_t packet_size, int streams,
                        std::size_t packets_present) {
    FileProps props;
    props.packets = count;
    props.min_packet = packet_size;
    props.max_packet = packet_size;
    Bytes header_payload{static_cast<std::uint8_t>(1 + streams), 0, 0, 0, 1, 2};
    put(header_payload, file_properties(props));
    for (int i = 0; i < streams; ++i)
        put(header_payload, stream_properties(StreamProps{}));
    return cat(
        {object(ObjectKind::header, header_payload),
         data_object(Bytes(packets_present * packet_size, 0), static_cast<std::uint64_t>(count))});
}

// pread that fails with EIO from g_fail_from on, after the bytes before it.
std::int64_t g_fail_from = 0;
ssize_t failing_pread(int fd, void* buf, std::size_t n, off_t offset) {
    if (offset >= g_fail_from) {
        errno = EIO;
        return -1;
    }
    return ::pread(fd, buf, std::min<std::size_t>(n, g_fail_from - offset), offset);
}

// pread of a file cut at g_fail_from after it was opened: nothing from there on.
ssize_t shrunk_pread(int fd, void* buf, std::size_t n, off_t offset) {
    if (offset >= g_fail_from)
        return 0;
    return ::pread(fd, buf, std::min<std::size_t>(n, g_fail_from - offset), offset);
}

const Guid kUnknown = asfinspect::asf::registry_guid("75B22633-668E-11CF-A6D9-00AA0062CE6C");

}  // namespace

TEST(Cli, UsageErrorsAndUnreadableFilesExitNonZeroWithNothingOnStdout) {
    const RunResult none = run_cli({});
    EXPECT_EQ(none.status, 2);
    const std::string usage =
        "usage: asfinspect [OPTION]... FILE...\n"
        "Try 'asfinspect --help' for more information.\n";
    EXPECT_EQ(none.err, usage);
    EXPECT_EQ(none.out, "");

    // Each malformed command line names its fault, then gives the usage line.
    const std::pair<std::vector<std::string>, std::string> bad[] = {
        {{"--frobnicate", "x.wmv"}, "unknown option '--frobnicate'"},
        {{"--packets=3-1", "x.wmv"}, "invalid packet range '3-1'"},
        {{"--packets=x", "x.wmv"}, "invalid packet range 'x'"},
        {{"--tree", "--json", "x.wmv"}, "--json alone writes it as JSON"},
        {{"--check", "--packets=1", "x.wmv"},
         "--packets can't be used with --check: it works with the dump, --tree, --json, --csv, "
         "--summary and --objects"},
        {{"--tree"}, "no FILE given"},
        {{"--json", "--csv", "x.wmv"}, "--json and --csv can't be combined"},
        {{"--summary", "--objects", "x.wmv"}, "can't be combined"},
        {{"--streams=2", "x.wmv"},
         "--streams can't be used with the dump: it works with --tree, --json, --csv, --summary, "
         "--objects and --timeline"},
        {{"--objects", "--streams=0", "x.wmv"}, "invalid stream list '0'"},
        {{"--objects", "--time=5-3", "x.wmv"}, "invalid time range '5-3'"},
        {{"--summary", "--time=5-", "x.wmv"}, "--time can't be used with --summary"},
        {{"--tree", "--time=1-2", "--packets=3", "x.wmv"}, "--time and --packets can't"},
        {{"--timeline", "--interval=0", "x.wmv"}, "invalid interval '0'"},
        {{"--check", "--interval=2", "x.wmv"}, "it works with --timeline only"},
        {{"--timeline", "--interval=9223372036854775.808", "x.wmv"}, "invalid interval"},
        {{"--timeline", "--interval=18446744073709551.999", "x.wmv"}, "invalid interval"},
        {{"--objects", "--time=9223372036854776-", "x.wmv"}, "invalid time range"},
        {{"--summary", "--quiet", "x.wmv"},
         "-q can't be used with --summary: it works with --check only"},
        {{"-j", "2", "x.wmv"}, "-j can't be used with the dump"},
        {{"--timeline", "--packets=3", "x.wmv"}, "--packets can't be used with --timeline"},
        {{"--html", "--csv", "x.wmv"}, "--html writes HTML"},
        {{"--html", "x.wmv", "y.wmv"}, "more than one FILE can't be used with --html"},
        {{"--html", "--streams=1", "x.wmv"}, "--streams can't be used with --html"},
        {{"--check", "--csv", "x.wmv"}, "--check writes text or JSON; it can't be used with --csv"},
    };
    for (const auto& [args, fault] : bad) {
        const RunResult r = run_cli(args);
        EXPECT_EQ(r.status, 2) << args[0];
        EXPECT_NE(r.err.find(fault), std::string::npos) << r.err;
        EXPECT_TRUE(r.err.ends_with("\n" + usage)) << r.err;
        EXPECT_EQ(r.out, "");
    }

    const RunResult missing = run_cli({"/nonexistent/file.wmv"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err,
              "asfinspect: /nonexistent/file.wmv: cannot open: No such file or directory\n");
    EXPECT_EQ(missing.out, "");

    const RunResult directory = run_cli({"/tmp"});
    EXPECT_EQ(directory.status, 1);
    EXPECT_EQ(directory.err, "asfinspect: /tmp: cannot read: Is a directory\n");
    EXPECT_EQ(directory.out, "");

    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    const std::string pipe_path = "/dev/fd/" + std::to_string(fds[0]);
    const RunResult piped = run_cli({pipe_path});
    EXPECT_EQ(piped.status, 1);
    EXPECT_NE(piped.err.find(pipe_path + ": cannot read: ASF is read at offsets"),
              std::string::npos);
    EXPECT_EQ(piped.out, "");
    close(fds[0]);
    close(fds[1]);
}

TEST(Cli, HelpAndVersionGoToStdout) {
    const RunResult help = run_cli({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("usage: asfinspect [OPTION]... FILE...\n", 0), 0u);
    for (const char* option : {"--tree", "--json", "--check", "--packets=SPEC"})
        EXPECT_NE(help.out.find(option), std::string::npos) << option;
    EXPECT_NE(help.out.find("Exit status"), std::string::npos);
    EXPECT_EQ(help.err, "");

    const RunResult version = run_cli({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out.rfind("asfinspect ", 0), 0u);
}

TEST(Cli, ProblemsInsideTheFileStillExitZeroAndTheDumpNotesAnOptionAfterFile) {
    TempFile file(header_object({file_properties(FileProps{})}));
    const RunResult r = run_cli({file.path(), "ignored"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_NE(r.out.find("Data chunk not found\n"), std::string::npos);

    // The option meant for another mode changes neither the dump nor its status.
    const RunResult late = run_cli({file.path(), "--summary", "x", "--json"});
    EXPECT_EQ(late.status, r.status);
    EXPECT_EQ(late.out, r.out);
    EXPECT_EQ(late.err,
              "asfinspect: ignored after FILE: --summary --json (the dump reads one FILE; options "
              "go before it)\n");
}

TEST(Cli, AFileThatIsNotAsfFailsEveryModeButTheDumpWhichNotesIt) {
    Bytes noise(64);
    for (std::size_t i = 0; i < noise.size(); ++i)
        noise[i] = static_cast<std::uint8_t>(i * 37 + 11);
    const Bytes mp4{0, 0, 0, 0x1c, 'f', 't', 'y', 'p', 'i', 's', 'o', 'm', 0, 0, 2, 0, 'i', 's'};
    const struct {
        Bytes bytes;
        std::string says;  // after "not an ASF file: "
    } inputs[] = {{{}, "the file is empty"},
                  {{'x'}, "it begins with 78 (\"x\")"},
                  {noise, "it begins with 0b 30 55 7a"},
                  {mp4,
                   "it begins with 00 00 00 1c 66 74 79 70 69 73 6f 6d 00 00 02 00 "
                   "(\"....ftypisom....\")"}};
    const std::vector<std::vector<std::string>> modes = {{},
                                                         {"--summary"},
                                                         {"--summary", "--json"},
                                                         {"--objects"},
                                                         {"--timeline", "--csv"},
                                                         {"--tree"},
                                                         {"--json"},
                                                         {"--csv"},
                                                         {"--check"},
                                                         {"--html"}};
    for (const auto& input : inputs) {
        TempFile file(input.bytes);
        for (const auto& mode : modes) {
            SCOPED_TRACE(input.says + (mode.empty() ? " dump" : " " + mode[0]));
            std::vector<std::string> args = mode;
            args.push_back(file.path());
            const RunResult r = run_cli(args);
            EXPECT_EQ(r.status, mode.empty() ? 0 : 3);
            EXPECT_TRUE(r.err.starts_with("asfinspect: " + file.path() +
                                          ": not an ASF file: " + input.says))
                << r.err;
            EXPECT_EQ(count_of(r.err, "\n"), 1u) << r.err;
            if (mode.empty()) {
                EXPECT_EQ(r.out, dump(input.bytes));
            }
        }
    }
}

TEST(Driver, FirstPacketOffsetPrintsInTheBaseTheReportsLeft) {
    // No stream report: still hexadecimal from the object listing.
    const std::string none = dump(file_with_packets(0, 100, 0, 0));
    EXPECT_EQ(after_line(none, "Unknown field:  0 "), "First data packet: offset b8\n");
    // A stream report switches to decimal; a count of 0 dumps no packet.
    const std::string two = dump(file_with_packets(0, 100, 2, 0));
    EXPECT_TRUE(two.ends_with(" No data concealment\nFirst data packet: offset 340\n"));
    // Without a data object.
    EXPECT_EQ(after_line(dump(header_object({file_properties(FileProps{})})), "Unknown field:  0 "),
              "Data chunk not found\n");
}

TEST(Driver, PacketLoopDumpsTheCountedPacketsAndStopsAtTheEndOfTheFile) {
    const std::string all = dump(file_with_packets(3, 100, 0, 3));
    EXPECT_EQ(count_of(all, " Dumping packet at offset "), 3u);
    // The first title follows the base left by the listing (hex), later ones are decimal.
    EXPECT_NE(all.find("\n Dumping packet at offset b8\n"), std::string::npos);
    EXPECT_NE(all.find("\n Dumping packet at offset 284\n"), std::string::npos);
    EXPECT_NE(all.find("\n Dumping packet at offset 384\n"), std::string::npos);

    const std::string truncated = dump(file_with_packets(5, 100, 0, 2));
    EXPECT_EQ(count_of(truncated, " Dumping packet at offset "), 2u);
    EXPECT_TRUE(truncated.ends_with("\nTruncated file: 2 of 5 packets present\n"));

    // A count far beyond the file, in hexadecimal base: both numbers stay decimal.
    const std::string huge = dump(file_with_packets(std::int64_t{1} << 62, 100, 0, 0));
    EXPECT_TRUE(
        huge.ends_with("First data packet: offset b8\n"
                       "Truncated file: 0 of 4611686018427387904 packets present\n"));

    const std::string zero_size = dump(cat({file_with_packets(1000, 0, 0, 0), Bytes(64, 0)}));
    EXPECT_EQ(count_of(zero_size, " Dumping packet at offset "), 1u);
    EXPECT_TRUE(zero_size.ends_with("\nPacket size is 0: later packets repeat the first\n"));
}

TEST(Driver, PositionsBeyondFourGibibytesStay64Bit) {
    // A sparse file: header, an unrecognised object of 5 GiB, then a data object
    // with two packets of 100 bytes.
    constexpr std::int64_t kBig = std::int64_t{5} << 30;
    FileProps props;
    props.packets = 2;
    props.min_packet = 100;
    props.max_packet = 100;
    const Bytes head =
        cat({header_object({file_properties(props)}), object_with_size(kUnknown, kBig)});
    Bytes packet =
        padded(packet_head(PacketHead{.length_type_flags = 0, .property_flags = 0x5d}), 11);
    put(packet, single_payload(1, 7, 89, 1000, 0));
    const Bytes tail = data_object(cat({padded(packet, 100), padded(packet, 100)}), 2);

    TempFile file(head);
    const int fd = ::open(file.path().c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    const std::int64_t data_at = static_cast<std::int64_t>(head.size()) - 24 + kBig;
    ASSERT_EQ(::pwrite(fd, tail.data(), tail.size(), data_at), static_cast<ssize_t>(tail.size()));
    ::close(fd);

    const RunResult r = run_cli({file.path()});
    EXPECT_EQ(r.status, 0);
    // 0x86 + 5 GiB = 0x140000086.
    EXPECT_NE(r.out.find("\n86: Unknown GUID 75b22633-668e-11cf-a6d90aa062ce6c, size "
                         "0x5.36871e+09\n140000086: data chunk, size 226\n"),
              std::string::npos)
        << r.out.substr(0, 400);
    EXPECT_NE(
        r.out.find("First data packet: offset 1400000b8\n\n Dumping packet at offset 1400000b8\n"),
        std::string::npos);
    EXPECT_NE(r.out.find("\n Dumping packet at offset 5368709404\n"), std::string::npos);
    EXPECT_NE(r.out.find(" Segment 0 at offset 5368709315:\n"), std::string::npos);
}

TEST(Cli, ReadErrorOrShrinkingFileKeepsWhatWasDumpedThenExitsOneWithTheMessage) {
    // Three packets of 100 bytes at 0xb8 (184); reads fail, or find the file
    // cut, from a given offset.
    const Bytes bytes = file_with_packets(std::int64_t{1} << 40, 100, 0, 3);
    const std::string whole = dump(bytes);
    struct Case {
        std::int64_t fail_from;
        std::size_t kept;  // bytes of the whole dump written before the error
    };
    const struct {
        asfinspect::io::FileReader::PreadFn pread;
        std::string message;
        std::string_view finding;
    } kinds[] = {
        {failing_pread, "asfinspect: f: read error: Input/output error\n",
         "error [read-error]: reading the file failed"},
        {shrunk_pread, "asfinspect: f: changed while being read\n",
         "error [read-error]: the file shrank while it was read"},
    };
    for (const auto& kind : kinds) {
        for (const Case c :
             {Case{0, 0}, Case{40, whole.find('\n') + 1},  // inside the file-properties object
              Case{289, whole.find("\n Dumping packet at offset 284\n")}}) {
            SCOPED_TRACE(kind.message + std::to_string(c.fail_from));
            TempFile file(bytes);
            const int fd = ::open(file.path().c_str(), O_RDONLY);
            ASSERT_GE(fd, 0);
            g_fail_from = c.fail_from;
            asfinspect::io::FileReader reader(fd, static_cast<std::int64_t>(bytes.size()),
                                              kind.pread);
            auto out = Output::memory();
            auto err = Output::memory();
            EXPECT_EQ(asfinspect::app::dump_input(reader, out, err, "f"), 1);
            EXPECT_EQ(out.text_so_far(), whole.substr(0, c.kept));
            EXPECT_EQ(err.text_so_far(), kind.message);

            // The complete decode stops too, and the findings say why.
            using asfinspect::app::Format;
            using asfinspect::app::Show;
            for (const auto& [show, format] :
                 {std::pair{Show::check, Format::text}, std::pair{Show::tree, Format::text},
                  std::pair{Show::tree, Format::json}}) {
                asfinspect::io::FileReader again(fd, static_cast<std::int64_t>(bytes.size()),
                                                 kind.pread);
                auto decode_out = Output::memory();
                auto decode_err = Output::memory();
                asfinspect::app::Options options;
                options.show = show;
                options.format = format;
                EXPECT_EQ(
                    asfinspect::app::inspect_input(again, decode_out, decode_err, options, "f"), 1);
                if (show == Show::check) {
                    // Nothing is made from the zeros a failed read leaves: no
                    // payload of stream 0, and nothing after the read error
                    // but the count.
                    const std::string text = decode_out.text_so_far();
                    EXPECT_NE(text.find(kind.finding), std::string::npos) << text;
                    EXPECT_EQ(text.find("payload"), std::string::npos) << text;
                    EXPECT_EQ(text.find('\n', text.find("[read-error]")) + 1,
                              text.rfind('\n', text.size() - 2) + 1)
                        << text;
                }
                EXPECT_EQ(decode_err.text_so_far(), kind.message);
            }
            ::close(fd);
        }
    }
}

namespace {

namespace fs = std::filesystem;

// A directory of files for a run over many, removed at the end of the test.
class TempTree {
  public:
    TempTree() {
        char name[] = "/tmp/asfinspect-tree-XXXXXX";
        if (mkdtemp(name) == nullptr)
            std::abort();
        root_ = name;
    }
    TempTree(const TempTree&) = delete;
    TempTree& operator=(const TempTree&) = delete;
    ~TempTree() { fs::remove_all(root_); }

    std::string add(const std::string& name, const Bytes& bytes) {
        const fs::path path = root_ / name;
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        return path.string();
    }
    std::string root() const { return root_.string(); }

  private:
    fs::path root_;
};

Bytes fixture(const char* name) {
    std::ifstream in(std::string(ASFINSPECT_SOURCE_DIR) + "/tests/data/" + name, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

TEST(Batch, ABrokenFileAmongGoodOnesIsNamedAndTheOthersAreStillChecked) {
    TempTree tree;
    const std::string good = tree.add("a.wma", fixture("audio-wmav2-p1000.wma"));
    Bytes cut = fixture("wmv1-wmav1-p1000.asf");
    cut.resize(cut.size() / 2);
    const std::string broken = tree.add("b.asf", cut);
    tree.add("c.wmv", fixture("video-wmv2-p8192.wmv"));
    tree.add("notes.txt", Bytes{'h', 'i'});  // not an extension walked
    tree.add("sub/d.WMA", Bytes{'h', 'e', 'l', 'l', 'o'});
    const std::string missing = tree.root() + "/gone.wma";

    const RunResult run = run_cli({"--check", "-r", tree.root(), missing});
    EXPECT_EQ(run.status, 3);  // an error found wins over a file that can't be read
    const std::string root = tree.root();
    EXPECT_NE(run.out.find(broken + ": 0x"), std::string::npos) << run.out;
    const auto order = {good + ": 0 errors", broken + ": 1 error", root + "/c.wmv: 0 errors",
                        root + "/sub/d.WMA: 0x0: error [not-asf]"};
    std::size_t last = 0;
    for (const std::string& line : order) {  // in the order of the names
        const auto at = run.out.find(line);
        ASSERT_NE(at, std::string::npos) << line << "\n" << run.out;
        EXPECT_GE(at, last) << line;
        last = at + 1;
    }
    EXPECT_EQ(run.out.find("notes.txt"), std::string::npos);
    EXPECT_TRUE(run.out.ends_with(
        "\n5 files: 2 clean, 0 with warnings only, 1 with errors, 1 unreadable, 1 not ASF\n"))
        << run.out;
    // Messages come in the order of the files too, whatever the jobs.
    const std::string err = "asfinspect: " + root +
                            "/sub/d.WMA: not an ASF file: it begins with 68 65 6c 6c 6f "
                            "(\"hello\"), not with the Header Object's GUID\n"
                            "asfinspect: " +
                            missing + ": cannot open: No such file or directory\n";
    EXPECT_EQ(run.err, err);
    const RunResult four = run_cli({"--check", "-j", "4", "-r", tree.root(), missing});
    EXPECT_EQ(four.err, err);
    EXPECT_EQ(four.out, run.out);

    // -q: the files with errors, and the total.
    const RunResult quiet = run_cli({"--check", "-q", good, broken});
    EXPECT_EQ(quiet.out.find(good), std::string::npos) << quiet.out;
    EXPECT_NE(quiet.out.find(broken + ": 1 error"), std::string::npos);

    // With no error found, a file that can't be read fails the run.
    EXPECT_EQ(run_cli({"--check", good, missing}).status, 1);
    // A directory is read only when asked to.
    const RunResult directory = run_cli({"--check", good, root});
    EXPECT_EQ(directory.status, 1);
    EXPECT_NE(directory.err.find("is a directory; -r reads the files in it"), std::string::npos);
}

TEST(Batch, OutputIsTheSameWithOneJobOrFour) {
    // Two files whose trees outgrow what a file waiting its turn may hold,
    // among the small ones.
    TempTree tree;
    const Bytes big = file_with_packets(30000, 100, 1, 30000);
    tree.add("1.asf", big);
    tree.add("2.asf", big);
    for (const char* name : {"audio-wmav2-p1000.wma", "msmpeg4-mp3-p8192.asf",
                             "chapters-wmv2-wmav2-p1000.wmv", "wmv1-wmav1-p1000.asf"})
        tree.add(std::string("3/") + name, fixture(name));
    const std::vector<std::vector<std::string>> modes = {
        {"--tree"}, {"--json"}, {"--check"}, {"--summary", "--json"}, {"--objects", "--csv"}};
    for (const auto& mode : modes) {
        SCOPED_TRACE(mode[0] + (mode.size() > 1 ? " " + mode[1] : ""));
        std::vector<std::string> args = mode;
        args.insert(args.end(), {"-r", tree.root(), "-j"});
        args.push_back("1");
        const RunResult one = run_cli(args);
        args.back() = "4";
        const RunResult four = run_cli(args);
        EXPECT_EQ(one.out, four.out);
        EXPECT_EQ(one.status, four.status);
        EXPECT_NE(one.out.find("/3/wmv1-wmav1-p1000.asf"), std::string::npos);
        if (mode[0] == "--objects") {
            EXPECT_EQ(count_of(one.out, "path,"), 1u);  // one header row
        }
    }
}

TEST(Batch, AnUnreadableFirstFileLeavesTheOthersTheirHeaderRowAndSpacing) {
    TempTree tree;
    const std::string a = tree.add("a.wma", fixture("audio-wmav2-p1000.wma"));
    const std::string b = tree.add("b.wmv", fixture("video-wmv2-p8192.wmv"));
    const std::string missing = tree.root() + "/gone.wma";
    struct Case {
        std::vector<std::string> mode;
        std::string starts;  // the output's first bytes
    };
    const Case cases[] = {{{"--summary", "--csv"}, "path,number,"},
                          {{"--objects", "--csv"}, "path,stream,"},
                          {{"--csv"}, "path,packet,"},
                          {{"--tree", "--packets=none"}, "File \""}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode[0]);
        std::vector<std::string> args = c.mode;
        args.insert(args.end(), {missing, a, b});
        const RunResult run = run_cli(args);
        EXPECT_EQ(run.status, 1);
        EXPECT_TRUE(run.out.starts_with(c.starts)) << run.out.substr(0, 200);
        EXPECT_EQ(count_of(run.out, "path,"), c.starts.starts_with("path") ? 1u : 0u);
        EXPECT_NE(run.out.find(b), std::string::npos);
    }
}

TEST(Batch, JsonAndCsvHaveOneShapeForOneFileOrMany) {
    const std::string a = std::string(ASFINSPECT_SOURCE_DIR) + "/tests/data/audio-wmav2-p1000.wma";
    const std::string b = std::string(ASFINSPECT_SOURCE_DIR) + "/tests/data/video-wmv2-p8192.wmv";
    const std::vector<std::vector<std::string>> modes = {
        {"--check", "--json"},  {"--summary", "--json"}, {"--summary", "--csv"},
        {"--objects", "--csv"}, {"--timeline", "--csv"}, {"--csv"}};
    for (const auto& mode : modes) {
        SCOPED_TRACE(mode[0] + " " + mode.back());
        std::vector<std::string> args = mode;
        args.push_back(a);
        const RunResult one = run_cli(args);
        args.push_back(b);
        const RunResult two = run_cli(args);
        // The first file's records, the CSV header row with them, as when it is alone.
        EXPECT_TRUE(two.out.starts_with(one.out)) << one.out.substr(0, 300);
        EXPECT_GT(two.out.size(), one.out.size());
        if (mode.back() == "--json") {
            EXPECT_EQ(count_of(one.out, "\n"), 1u);
            EXPECT_NE(one.out.find("\"path\":\"" + a + "\""), std::string::npos);
        } else {
            EXPECT_TRUE(one.out.starts_with("path,")) << one.out.substr(0, 100);
        }
    }
}

TEST(Batch, EmptyAnswersSaySoAndAWalkThatFindsNothingFails) {
    const std::string file =
        std::string(ASFINSPECT_SOURCE_DIR) + "/tests/data/audio-wmav2-p1000.wma";  // stream 1, 3 s
    const std::string says = "asfinspect: " + file + ": ";
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"--objects", "--streams=9"}, "--streams: the file declares no stream 9\n"},
        {{"--summary", "--streams=1,3,9"}, "--streams: the file declares no streams 3 and 9\n"},
        {{"--timeline", "--time=500-600"},
         "--time=500-600: no media object is presented in that range\n"},
        {{"--tree", "--streams=1", "--time=500-"},
         "--time=500-: no media object of the streams selected is presented in that range\n"},
        {{"--time=4-"}, "--time=4-: no media object is presented in that range\n"},
        {{"--objects", "--streams=1", "--time=1-2"}, ""},
    };
    for (const auto& [args, note] : cases) {
        SCOPED_TRACE(args[0]);
        std::vector<std::string> run_args = args;
        run_args.push_back(file);
        const RunResult r = run_cli(run_args);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.err, note.empty() ? "" : says + note);
    }

    TempTree tree;
    tree.add("notes.txt", Bytes{'h', 'i'});
    const RunResult walk = run_cli({"--summary", "-r", tree.root()});
    EXPECT_EQ(walk.status, 1);
    EXPECT_EQ(walk.out, "");
    EXPECT_EQ(walk.err,
              "asfinspect: " + tree.root() +
                  ": no file to read: no name in it or below it ends in .asf, .wma or .wmv\n");
}

extern char** environ;

namespace {

// The program run with `args`, its standard output on `out_fd` and SIGPIPE at
// its default: the wait status, and its standard error.
std::pair<int, std::string> spawn_run(const std::vector<std::string>& args, int out_fd) {
    int err_pipe[2];
    if (pipe2(err_pipe, O_CLOEXEC) != 0)
        std::abort();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out_fd, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err_pipe[1], STDERR_FILENO);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF);
    std::vector<char*> argv{const_cast<char*>(ASFINSPECT_BINARY)};
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, ASFINSPECT_BINARY, &actions, &attr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    close(err_pipe[1]);
    std::string err;
    char buf[4096];
    // Each pass reads what the child wrote, until it closes standard error.
    for (ssize_t n = read(err_pipe[0], buf, sizeof buf); n > 0;
         n = read(err_pipe[0], buf, sizeof buf))
        err.append(buf, static_cast<std::size_t>(n));
    close(err_pipe[0]);
    int status = -1;
    if (spawned == 0)
        waitpid(pid, &status, 0);
    return {status, err};
}

}  // namespace

// Under ThreadSanitizer (the tsan preset) this is where a data race of the
// jobs shows: the output fails while four of them write.
TEST(Batch, AFailingOutputEndsAFourJobRunWithoutARace) {
    TempTree tree;
    for (int copy = 0; copy < 4; ++copy) {
        for (const char* name : {"audio-wmav2-p1000.wma", "msmpeg4-mp3-p8192.asf",
                                 "chapters-wmv2-wmav2-p1000.wmv", "wmv1-wmav1-p1000.asf"})
            tree.add(std::to_string(copy) + "/" + name, fixture(name));
    }
    const std::vector<std::vector<std::string>> modes = {
        {"--objects"}, {"--check"}, {"--summary", "--json"}};
    for (const auto& mode : modes) {
        SCOPED_TRACE(mode[0]);
        std::vector<std::string> args = mode;
        args.insert(args.end(), {"-j", "4", "-r", tree.root()});

        const int full = open("/dev/full", O_WRONLY | O_CLOEXEC);
        ASSERT_GE(full, 0);
        const auto [status, err] = spawn_run(args, full);
        close(full);
        ASSERT_TRUE(WIFEXITED(status)) << err;
        EXPECT_EQ(WEXITSTATUS(status), 1) << err;
        EXPECT_EQ(err, "asfinspect: write error: No space left on device\n");

        int closed[2];
        ASSERT_EQ(pipe2(closed, O_CLOEXEC), 0);
        close(closed[0]);
        const auto [piped, piped_err] = spawn_run(args, closed[1]);
        close(closed[1]);
        EXPECT_TRUE(WIFSIGNALED(piped) && WTERMSIG(piped) == SIGPIPE) << piped_err;
        EXPECT_EQ(piped_err, "");
    }
}

namespace {

std::string source_file(const std::string& name) {
    std::ifstream in(std::string(ASFINSPECT_SOURCE_DIR) + "/" + name);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The options --help lists: "  -j, --jobs=N   read..." gives -j and --jobs.
std::vector<std::string> options_of_help(const std::string& help) {
    std::vector<std::string> options;
    std::istringstream lines(help);
    // Each pass looks at one line of the help.
    for (std::string line; std::getline(lines, line);) {
        if (!line.starts_with("  -"))
            continue;
        std::istringstream words(line.substr(0, line.find("  ", 2)));
        for (std::string word; words >> word;) {
            word = word.substr(0, word.find_first_of("=,"));
            if (word.starts_with("-"))
                options.push_back(word);
        }
    }
    return options;
}

// The man page's text with its escapes of minus signs and fonts taken out.
std::string man_text(std::string roff) {
    std::string text;
    for (std::size_t i = 0; i < roff.size(); ++i) {
        if (roff.compare(i, 2, "\\-") == 0) {
            text += '-';
            ++i;
        } else if (roff.compare(i, 2, "\\f") == 0) {
            i += 2;
        } else {
            text += roff[i];
        }
    }
    return text;
}

bool has_word(std::string_view text, std::string_view word) {
    // Each pass looks at one place the word is met.
    for (auto at = text.find(word); at != std::string_view::npos; at = text.find(word, at + 1)) {
        const auto after = at + word.size();
        const bool starts = at == 0 || text[at - 1] != '-';
        const bool ends =
            after == text.size() ||
            !(std::isalnum(static_cast<unsigned char>(text[after])) || text[after] == '-');
        if (starts && ends)
            return true;
    }
    return false;
}

}  // namespace

TEST(Cli, TheManPageAndTheCompletionCoverEveryOptionOfHelpAndEveryMode) {
    const std::string help = run_cli({"--help"}).out;
    const std::string man = man_text(source_file("doc/asfinspect.1"));
    const std::string completion = source_file("completion/asfinspect");
    // The headers of the man page's option entries: the line after each .TP.
    std::string entries;
    for (auto at = man.find(".TP\n"); at != std::string::npos; at = man.find(".TP\n", at + 1))
        entries += man.substr(at + 4, man.find('\n', at + 4) - at - 4) + "\n";
    const std::vector<std::string> options = options_of_help(help);
    EXPECT_GE(options.size(), 18u);
    for (const std::string& option : options) {
        EXPECT_TRUE(has_word(entries, option)) << option << " has no entry in the man page";
        EXPECT_TRUE(has_word(completion, option)) << option << " is not completed";
    }
    const auto section = [&](std::string_view name) {
        const auto at = man.find(".SH " + std::string(name));
        return man.substr(at, man.find(".SH ", at + 1) - at);
    };
    const std::string synopsis = section("SYNOPSIS");
    const std::string many = section("MANY FILES");
    const std::string many_modes = many.substr(0, many.find(".PP"));
    for (const asfinspect::app::Mode& mode : asfinspect::app::modes()) {
        if (mode.flag.empty())
            continue;
        EXPECT_TRUE(has_word(synopsis, mode.flag)) << mode.flag;
        EXPECT_TRUE(has_word(help, mode.flag)) << mode.flag;
        EXPECT_EQ(has_word(many_modes, mode.flag),
                  (mode.takes & asfinspect::app::takes::kMany) != 0)
            << mode.flag;
    }
}
