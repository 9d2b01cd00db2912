#include "app/driver.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string_view>
#include <vector>

#include "app/batch.hpp"
#include "app/input.hpp"
#include "check/check_view.hpp"
#include "decode/decoder.hpp"
#include "dump/dump.hpp"
#include "repair/repair.hpp"
#include "view/html_report.hpp"
#include "view/json_view.hpp"
#include "view/objects_view.hpp"
#include "view/packets_csv_view.hpp"
#include "view/summary_view.hpp"
#include "view/timeline_view.hpp"
#include "view/tree_view.hpp"

namespace asfinspect::app {

namespace {

constexpr std::string_view kHelp =
    "usage: asfinspect [OPTION]... FILE...\n"
    "\n"
    "Shows the structure of an ASF file (.asf, .wma, .wmv). Without an option it\n"
    "writes the classic dump of the first FILE: the object list with offsets, the\n"
    "file and stream properties, and every data packet and payload with raw\n"
    "bytes, field by field.\n"
    "\n"
    "  --summary        one screen of answers: the file, its streams and codecs,\n"
    "                   declared and measured bitrates, tags, indexes, and the\n"
    "                   check's verdict\n"
    "  --objects        the media objects, one a line: stream, number, time as a\n"
    "                   player shows it and as stored, size, key frame, fragments,\n"
    "                   packets, send time, offset\n"
    "  --timeline       the delivery over time, an interval a row per stream:\n"
    "                   bytes sent and bitrate, media objects and key frames\n"
    "                   presented, the leaky bucket at its fullest, the least\n"
    "                   lead of presentation over send time; packets and padding\n"
    "  --interval=SECONDS  the timeline's interval (default 1)\n"
    "  --html           a report to open in a browser, one HTML page: the summary,\n"
    "                   a map of the file, bitrates and leaky buckets over time,\n"
    "                   presentation against send time, the findings\n"
    "  --tree           decode every object, field, stream, tag, index and packet\n"
    "                   by ASF's rules, as indented text\n"
    "  --json           as JSON: the decode, or with --summary, --objects,\n"
    "                   --timeline or --check their answers\n"
    "  --csv            as CSV: the summary's streams, the media objects, the\n"
    "                   timeline, or alone the packets with a row for each payload\n"
    "  --check          check the file through: one line per problem found, then a\n"
    "                   count; with --json, the findings as JSON\n"
    "  --packets=SPEC   the data packets to show, by index from 0: all (the\n"
    "                   default), none, N, N-M or N-; also applies to the dump\n"
    "  --streams=LIST   only these streams, by number (1,2)\n"
    "  --time=RANGE     only the media objects presented in RANGE, seconds as a\n"
    "                   player shows them (START-END, START- or -END), and the\n"
    "                   packets that carry them; also applies to the dump\n"
    "\n"
    "Repairing a damaged file:\n"
    "  --repair -o OUT  write FILE repaired into OUT: whole packets kept in their\n"
    "                   places, partial ones dropped, partial media objects made\n"
    "                   padding, noise packets replaced by padding, counts, sizes,\n"
    "                   durations and the index set from what is kept; one line\n"
    "                   per change, then a total\n"
    "  --reference=GOOD lend GOOD's header when FILE's is lost\n"
    "  --dry-run        say what would change; write nothing\n"
    "  --force          let OUT be replaced\n"
    "\n"
    "Many files at once (all but the dump and --html):\n"
    "  -r, --recursive  read the files in directories, and below, by name\n"
    "  --ext=LIST       the extensions read in directories (default asf,wma,wmv)\n"
    "  -j, --jobs=N     read N files at once (default: one per processor); the\n"
    "                   output is still in the order of the files\n"
    "  -q, --quiet      with --check: only the files with errors, and the total\n"
    "\n"
    "  -h, --help       show this text\n"
    "  -V, --version    show the version\n"
    "\n"
    "Over several files, each line of --check begins with its file, each file\n"
    "ends with its count and the run with a total; --check --json and --summary\n"
    "--json write a line of JSON per file, and CSV a path column:\n"
    "\n"
    "  $ asfinspect --check -r archive\n"
    "  archive/cut.wma: 0x1d4e: error [truncated-file]: the file is cut short ...\n"
    "  archive/cut.wma: 1 error, 0 warnings in 4 packets\n"
    "  archive/talk.wma: 0 errors, 0 warnings in 46 packets\n"
    "  2 files: 1 clean, 0 with warnings only, 1 with errors, 0 unreadable, 0 not ASF\n"
    "\n"
    "Options may come after FILE, except for the dump, which reads its first\n"
    "FILE and ignores what follows; -- ends the options. Problems in a file are\n"
    "warning or error lines, not failures of the run.\n"
    "\n"
    "Exit status: 0 when the output was written (for --check: no error found),\n"
    "1 when a file can't be opened or read or the output can't be written,\n"
    "2 on a usage error, 3 when --check found an error. Over several files, 3\n"
    "when any file has an error, else 1 when any couldn't be read. --repair: 3\n"
    "when the damage can't be mended or the result didn't prove whole.\n";

}  // namespace

namespace {

// The numbers of the packets a decode shows, as runs: the packets that carry
// the media objects of a time selection, for the dump.
class PacketRuns final : public decode::View {
  public:
    explicit PacketRuns(std::vector<decode::PacketRange>& runs) : runs_(runs) {}

    void begin(const decode::Part& part) override {
        ++depth_;
        if (part.kind == decode::Part::Kind::packets)
            packets_depth_ = depth_;
        if (part.kind != decode::Part::Kind::item || depth_ != packets_depth_ + 1)
            return;
        if (!runs_.empty() && runs_.back().last + 1 == part.index) {
            runs_.back().last = part.index;
        } else {
            runs_.push_back({part.index, part.index, false});
        }
    }
    void end(const decode::Part& part) override {
        if (part.kind == decode::Part::Kind::packets)
            packets_depth_ = -1;
        --depth_;
    }

  private:
    std::vector<decode::PacketRange>& runs_;
    int depth_ = 0;
    int packets_depth_ = -1;
};

// The dump of the packets that carry the media objects of a time selection.
void dump_time_selection(io::FileReader& file, io::Output& out, const Options& options,
                         std::string_view path) {
    std::vector<decode::PacketRange> runs;
    {
        PacketRuns finder(runs);
        decode::DiscardFindings discard;
        decode::decode_file(file, finder, discard, path, options.selection);
    }
    if (file.failed())
        return;
    if (runs.empty())
        runs.push_back(decode::PacketRange::none());
    dump::dump_file(file, out, runs);
}

view::ObjectsView::Format objects_format(Format f) {
    return f == Format::json  ? view::ObjectsView::Format::json
           : f == Format::csv ? view::ObjectsView::Format::csv
                              : view::ObjectsView::Format::text;
}

}  // namespace

Verdict inspect_file(io::FileReader& file, io::Output& out, const Options& options,
                     std::string_view path, const FileStyle* style) {
    const decode::DecodeOptions& selection = options.selection;
    switch (options.show) {
        case Show::tree:
            if (options.format == Format::json) {
                view::JsonView json(out);
                decode::decode_file(file, json, json, path, selection);
            } else if (options.format == Format::csv) {
                view::PacketsCsvView csv(out);
                if (style != nullptr)
                    csv.set_batch();
                decode::decode_file(file, csv, csv, path, selection);
            } else {
                view::TreeView tree(out);
                decode::decode_file(file, tree, tree, path, selection);
            }
            return {};
        case Show::check: {
            check::CheckView verdict(out, options.format == Format::json
                                              ? check::CheckView::Format::json
                                              : check::CheckView::Format::text);
            if (style != nullptr)
                verdict.set_batch(style->path, style->quiet);
            decode::decode_file(file, verdict, verdict, path, selection);
            return {verdict.errors() == 0 ? kExitOk : kExitInconsistent, verdict.errors(),
                    verdict.warnings(), verdict.not_asf()};
        }
        case Show::objects: {
            view::ObjectsView objects(out, objects_format(options.format));
            if (style != nullptr)
                objects.set_batch();
            decode::DiscardFindings discard;
            decode::decode_file(file, objects, discard, path, selection);
            return {};
        }
        case Show::timeline: {
            view::TimelineView timeline(
                out,
                options.format == Format::json  ? view::TimelineView::Format::json
                : options.format == Format::csv ? view::TimelineView::Format::csv
                                                : view::TimelineView::Format::text,
                options.interval);
            timeline.select(selection.streams, selection.time);
            if (style != nullptr)
                timeline.set_batch();
            // The buckets and the intervals' totals take every packet.
            decode::DiscardFindings discard;
            decode::decode_file(file, timeline, discard, path, decode::DecodeOptions{});
            return {};
        }
        case Show::html: {
            view::HtmlReport report(out);
            decode::decode_file(file, report, report, path, decode::DecodeOptions{});
            return {kExitOk, report.errors(), report.warnings()};
        }
        case Show::summary: {
            view::SummaryView summary(
                out, options.format == Format::json  ? view::SummaryView::Format::json
                     : options.format == Format::csv ? view::SummaryView::Format::csv
                                                     : view::SummaryView::Format::text);
            summary.set_streams(selection.streams);
            if (style != nullptr)
                summary.set_batch();
            decode::DecodeOptions whole = selection;
            whole.streams.set();  // the file's measures take every stream
            decode::decode_file(file, summary, summary, path, whole);
            return {kExitOk, summary.errors(), summary.warnings()};
        }
        case Show::dump:
            if (selection.time) {
                dump_time_selection(file, out, options, path);
                return {};
            }
            break;
    }
    dump::dump_file(file, out, selection.packets);
    return {};
}

namespace {

int fail(io::Output& err, std::string_view what, const char* path, std::string_view reason) {
    err.text("asfinspect: ").text(what).text(" '").text(path).text("': ");
    err.text(reason).end_line();
    err.flush();
    return kExitFailure;
}

int usage_error(io::Output& err, std::string_view what) {
    if (!what.empty())
        err.text("asfinspect: ").text(what).end_line();
    err.text(kUsage).end_line();
    err.text(kTryHelp).end_line();
    err.flush();
    return kExitUsage;
}

// Ends a run that wrote to `out`: hands it the rest of the text and reports a
// failed write, or else a failed read of `file` (none when it is null), whose
// output stopped where the read failed; returns `status` when neither happened.
int finish(io::Output& out, io::Output& err, const io::FileReader* file, std::string_view path,
           int status = kExitOk) {
    if (!out.flush()) {
        err.text("asfinspect: write error: ").text(std::strerror(out.error())).end_line();
        err.flush();
        return kExitFailure;
    }
    if (file != nullptr && file->changed()) {
        err.text("asfinspect: ").text(path).text(" changed while being read").end_line();
        err.flush();
        return kExitFailure;
    }
    if (file != nullptr && file->failed()) {
        err.text("asfinspect: read error: ").text(std::strerror(file->error())).end_line();
        err.flush();
        return kExitFailure;
    }
    return status;
}

}  // namespace

int dump_input(io::FileReader& file, io::Output& out, io::Output& err, std::string_view path) {
    dump::dump_file(file, out);
    return finish(out, err, &file, path);
}

int inspect_input(io::FileReader& file, io::Output& out, io::Output& err, const Options& options,
                  std::string_view path) {
    const Verdict verdict = inspect_file(file, out, options, path);
    return finish(out, err, &file, path, verdict.status);
}

namespace {

// Reads the file at `path` as the options ask; nothing reaches
// `out` when it can't be read.
int inspect_path(const Options& options, const std::string& path, io::Output& out,
                 io::Output& err) {
    const Input input = open_input(path.c_str());
    if (input.fd < 0)
        return fail(err, input.failure, path.c_str(), input.reason);
    io::FileReader file(input.fd, input.size);
    const int status = inspect_input(file, out, err, options, path);
    ::close(input.fd);
    return status;
}

// --repair, its outcome as an exit status: 3 for damage it can't mend or a
// result that didn't prove whole, as for a check that finds an error.
int run_repair(const Options& options, io::Output& out, io::Output& err) {
    repair::Request request;
    request.file = options.paths.front();
    request.out = options.repair.out;
    request.reference = options.repair.reference;
    request.dry_run = options.repair.dry_run;
    request.force = options.repair.force;
    request.json = options.format == Format::json;
    switch (repair::repair(request, out, err)) {
        case repair::Outcome::repaired:
        case repair::Outcome::nothing_to_repair:
        case repair::Outcome::dry_run:
            return finish(out, err, nullptr, "");
        case repair::Outcome::usage:
            return usage_error(err, "");
        case repair::Outcome::failure:
            return kExitFailure;
        case repair::Outcome::cannot_mend:
            break;
    }
    return kExitInconsistent;
}

// Whether the run is over several files, each named in the output: more than
// one operand, or directories to walk, or -q.
bool over_several(const Options& options) {
    return options.show != Show::dump &&
           (options.paths.size() > 1 || options.recursive || options.quiet);
}

}  // namespace

int run(int argc, const char* const* argv, io::Output& out, io::Output& err) {
    if (argc < 2)
        return usage_error(err, "");
    const ParsedOptions parsed = parse_options(argc, argv);
    if (!parsed.error.empty())
        return usage_error(err, parsed.error);
    const Options& options = parsed.options;
    if (options.help) {
        out.text(kHelp);
    } else if (options.version) {
        out.text("asfinspect " ASFINSPECT_VERSION).end_line();
    } else if (options.repair.given) {
        return run_repair(options, out, err);
    } else if (over_several(options)) {
        return run_batch(options, out, err);
    } else {
        return inspect_path(options, options.paths.front(), out, err);
    }
    return finish(out, err, nullptr, "");
}

}  // namespace asfinspect::app
