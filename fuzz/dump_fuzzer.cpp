// libFuzzer target: the whole dump of the input bytes into a counting sink,
// with the output held to the linear bound of output_bound.hpp. Inputs with a
// modest dump are also read through a file descriptor, whose block cache is a
// separate path, and both dumps must agree byte for byte. The complete decode
// runs into the tree, the check, the JSON, the summary's JSON, the timeline's
// JSON and CSV and the HTML report, each held to the same bound, and the JSON
// must be valid. --repair --dry-run plans a repair of the input read
// through a descriptor, its lines held to the bound too.

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <span>
#include <string>
#include <string_view>

#include "../tests/json_check.hpp"
#include "check/check_view.hpp"
#include "decode/decoder.hpp"
#include "dump/dump.hpp"
#include "io/file_reader.hpp"
#include "io/output.hpp"
#include "output_bound.hpp"
#include "repair/repair.hpp"
#include "view/html_report.hpp"
#include "view/json_view.hpp"
#include "view/objects_view.hpp"
#include "view/packets_csv_view.hpp"
#include "view/summary_view.hpp"
#include "view/timeline_view.hpp"
#include "view/tree_view.hpp"

namespace {

// Above this the second comparison run would dominate the time per input.
constexpr std::uint64_t kCompareLimit = 1 << 20;

int g_file = -1;  // an in-memory file for the descriptor path

[[noreturn]] void fail(const char* what) {
    std::fputs(what, stderr);
    std::abort();
}

void write_file(const std::uint8_t* data, std::size_t size) {
    if (ftruncate(g_file, 0) != 0)
        fail("ftruncate failed\n");
    for (std::size_t done = 0; done < size;) {
        const ssize_t n = pwrite(g_file, data + done, size - done, static_cast<off_t>(done));
        if (n <= 0)
            fail("pwrite failed\n");
        done += static_cast<std::size_t>(n);
    }
}

std::string dump_through_file(const std::uint8_t* data, std::size_t size) {
    write_file(data, size);
    asfinspect::io::FileReader reader(g_file, static_cast<std::int64_t>(size));
    auto out = asfinspect::io::Output::memory();
    asfinspect::dump::dump_file(reader, out);
    return out.text_so_far();
}

std::string dump_from_memory(const std::uint8_t* data, std::size_t size) {
    asfinspect::io::FileReader reader(std::span<const std::uint8_t>(data, size));
    auto out = asfinspect::io::Output::memory();
    asfinspect::dump::dump_file(reader, out);
    return out.text_so_far();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The creation time prints in local time; a fixed zone keeps runs alike
    // and spares a time-zone file lookup per input.
    setenv("TZ", "UTC", 1);
    tzset();
    g_file = memfd_create("asfinspect-fuzz", 0);
    if (g_file < 0)
        fail("memfd_create failed\n");
    return 0;
}

namespace {

void check_bound(const char* mode, std::uint64_t written, std::size_t size) {
    const std::uint64_t bound = asfinspect::fuzz::output_bound(size);
    if (written > bound) {
        std::fprintf(stderr,
                     "%s: output bound exceeded: %llu bytes from a %zu-byte input (bound %llu)\n",
                     mode, static_cast<unsigned long long>(written), size,
                     static_cast<unsigned long long>(bound));
        std::abort();
    }
}

// Every row of a CSV has the header's number of fields; none of the views'
// fields holds a comma, so a count of them is enough.
void check_csv(const char* mode, std::string_view csv) {
    std::size_t expected = 0;
    std::size_t line_start = 0;
    // Each pass checks one line.
    for (std::size_t end = csv.find('\n'); end != std::string_view::npos;
         line_start = end + 1, end = csv.find('\n', line_start)) {
        const std::string_view line = csv.substr(line_start, end - line_start);
        if (!line.ends_with('\r'))
            fail("a CSV row that doesn't end in CRLF\n");
        const auto commas = static_cast<std::size_t>(std::count(line.begin(), line.end(), ','));
        if (line_start == 0) {
            expected = commas;
        } else if (commas != expected) {
            std::fprintf(stderr, "%s: a row of %zu fields under a header of %zu\n", mode,
                         commas + 1, expected + 1);
            std::abort();
        }
    }
    if (line_start != csv.size())
        fail("a CSV that doesn't end its last row\n");
}

// The complete decode into each view: within the bound, and the JSON (of the
// decode, the media objects and the summary) valid.
void decode_every_way(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    {
        asfinspect::io::FileReader reader(bytes);
        auto out = asfinspect::io::Output::counting();
        asfinspect::view::TreeView tree(out);
        asfinspect::decode::decode_file(reader, tree, tree, "fuzz");
        check_bound("--tree", out.bytes_written(), size);
    }
    {
        asfinspect::io::FileReader reader(bytes);
        auto out = asfinspect::io::Output::counting();
        asfinspect::check::CheckView check(out, asfinspect::check::CheckView::Format::text);
        asfinspect::decode::decode_file(reader, check, check, "fuzz");
        check_bound("--check", out.bytes_written(), size);
    }
    {
        asfinspect::io::FileReader reader(bytes);
        auto out = asfinspect::io::Output::counting();
        asfinspect::view::ObjectsView objects(out, asfinspect::view::ObjectsView::Format::text);
        asfinspect::decode::DiscardFindings discard;
        asfinspect::decode::decode_file(reader, objects, discard, "fuzz");
        check_bound("--objects", out.bytes_written(), size);
    }
    {
        asfinspect::io::FileReader reader(bytes);
        auto out = asfinspect::io::Output::memory();
        asfinspect::view::ObjectsView objects(out, asfinspect::view::ObjectsView::Format::csv);
        asfinspect::decode::DiscardFindings discard;
        asfinspect::decode::decode_file(reader, objects, discard, "fuzz");
        check_bound("--objects --csv", out.text_so_far().size(), size);
        check_csv("--objects --csv", out.text_so_far());
    }
    {
        asfinspect::io::FileReader reader(bytes);
        auto out = asfinspect::io::Output::memory();
        asfinspect::view::PacketsCsvView csv(out);
        asfinspect::decode::decode_file(reader, csv, csv, "fuzz");
        check_bound("--csv", out.text_so_far().size(), size);
        check_csv("--csv", out.text_so_far());
    }
    {
        asfinspect::io::FileReader reader(bytes);
        auto out = asfinspect::io::Output::memory();
        asfinspect::view::ObjectsView objects(out, asfinspect::view::ObjectsView::Format::json);
        asfinspect::decode::DiscardFindings discard;
        asfinspect::decode::decode_file(reader, objects, discard, "fuzz");
        check_bound("--objects --json", out.text_so_far().size(), size);
        if (!asftest::valid_json(out.text_so_far()))
            fail("--objects --json wrote a document that is not valid JSON\n");
    }
    {
        asfinspect::io::FileReader reader(bytes);
        auto out = asfinspect::io::Output::memory();
        asfinspect::view::SummaryView summary(out, asfinspect::view::SummaryView::Format::json);
        asfinspect::decode::decode_file(reader, summary, summary, "fuzz");
        const std::string& text = out.text_so_far();
        check_bound("--summary --json", text.size(), size);
        if (!asftest::valid_json(text))
            fail("--summary --json wrote a document that is not valid JSON\n");
    }
    // Intervals of 1 ms, the most the command line allows.
    for (const auto format : {asfinspect::view::TimelineView::Format::json,
                              asfinspect::view::TimelineView::Format::csv}) {
        asfinspect::io::FileReader reader(bytes);
        auto out = asfinspect::io::Output::memory();
        asfinspect::view::TimelineView timeline(out, format, 1);
        asfinspect::decode::DiscardFindings discard;
        asfinspect::decode::decode_file(reader, timeline, discard, "fuzz");
        check_bound("--timeline", out.text_so_far().size(), size);
        if (format == asfinspect::view::TimelineView::Format::csv)
            check_csv("--timeline --csv", out.text_so_far());
        else if (!asftest::valid_json(out.text_so_far()))
            fail("--timeline --json wrote a document that is not valid JSON\n");
    }
    {
        asfinspect::io::FileReader reader(bytes);
        auto out = asfinspect::io::Output::counting();
        asfinspect::view::HtmlReport report(out);
        asfinspect::decode::decode_file(reader, report, report, "fuzz");
        check_bound("--html", out.bytes_written(), size);
    }
    asfinspect::io::FileReader reader(bytes);
    auto out = asfinspect::io::Output::memory();
    asfinspect::view::JsonView json(out);
    asfinspect::decode::decode_file(reader, json, json, "fuzz");
    const std::string& text = out.text_so_far();
    check_bound("--json", text.size(), size);
    if (!asftest::valid_json(text))
        fail("--json wrote a document that is not valid JSON\n");
}

// --repair --dry-run of the input, as a file: it plans and writes nothing.
void plan_repair_of(const std::uint8_t* data, std::size_t size) {
    write_file(data, size);
    asfinspect::repair::Request request;
    request.file = "/proc/self/fd/" + std::to_string(g_file);
    request.dry_run = true;
    auto out = asfinspect::io::Output::counting();
    auto err = asfinspect::io::Output::counting();
    asfinspect::repair::repair(request, out, err);
    check_bound("--repair --dry-run", out.bytes_written() + err.bytes_written(), size);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    asfinspect::io::FileReader reader(std::span<const std::uint8_t>(data, size));
    auto out = asfinspect::io::Output::counting();
    asfinspect::dump::dump_file(reader, out);
    const std::uint64_t written = out.bytes_written();
    check_bound("dump", written, size);
    decode_every_way(data, size);
    plan_repair_of(data, size);
    if (written <= kCompareLimit) {
        const std::string from_memory = dump_from_memory(data, size);
        if (from_memory.size() != written)
            fail("the memory sink and the counting sink disagree\n");
        if (dump_through_file(data, size) != from_memory)
            fail("the dump read through a descriptor differs from the dump read from memory\n");
    }
    return 0;
}
