#include "app/run.hpp"

#include "app/batch.hpp"
#include "app/driver.hpp"
#include "app/inspect.hpp"
#include "app/modes.hpp"
#include "io/error_text.hpp"

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
    "                   per change, then a total; with --json, as JSON\n"
    "  --reference=GOOD lend GOOD's header when FILE's is lost\n"
    "  --dry-run        say what would change; write nothing\n"
    "  --force          let OUT be replaced\n"
    "\n"
    "Many files at once (all but the dump, --html and --repair):\n"
    "  -r, --recursive  read the files in directories, and below, by name\n"
    "  --ext=LIST       the extensions read in directories (default asf,wma,wmv)\n"
    "  -j, --jobs=N     read N files at once (default: one per processor); the\n"
    "                   output is still in the order of the files\n"
    "  -q, --quiet      with --check: only the files with errors, and the total\n"
    "\n"
    "  -h, --help       show this text\n"
    "  -V, --version    show the version\n"
    "\n"
    "--check --json and --summary --json write a line of JSON per file, with its\n"
    "path, and CSV a path column, for one file as for many. Over several files,\n"
    "each line of --check begins with its file, each file ends with its count\n"
    "and the run with a total:\n"
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
    "1 when a file can't be opened or read, a walk finds no file, or the output\n"
    "can't be written, 2 on a usage error, 3 when --check found an error or a\n"
    "file is not ASF (the dump only notes it). Over several files, 3 when any\n"
    "file has an error, else 1 when any couldn't be read. --repair: 3 when the\n"
    "damage can't be mended or the result didn't prove whole.\n";

}  // namespace

int usage_error(io::Output& err, std::string_view what) {
    if (!what.empty())
        err.text("asfinspect: ").text(what).end_line();
    err.text(kUsage).end_line();
    err.text(kTryHelp).end_line();
    err.flush();
    return kExitUsage;
}

namespace {

int write_error(io::Output& err, int error) {
    err.text("asfinspect: write error: ").text(io::error_text(error)).end_line();
    err.flush();
    return kExitFailure;
}

// The dump reads its first FILE and ignores what follows; an option there
// was most likely meant for another mode.
void note_ignored(io::Output& err, const Options& options) {
    if (options.ignored.empty())
        return;
    err.text("asfinspect: ignored after FILE:");
    for (const std::string& arg : options.ignored)
        err.text(" ").text(arg);
    err.text(" (the dump reads one FILE; options go before it)").end_line();
    err.flush();
}

}  // namespace

int run(int argc, const char* const* argv, io::Output& out, io::Output& err) {
    if (argc < 2)
        return usage_error(err, "");
    const ParsedOptions parsed = parse_options(argc, argv);
    if (!parsed.error.empty())
        return usage_error(err, parsed.error);
    const Options& options = parsed.options;
    if (options.help || options.version) {
        out.text(options.help ? kHelp : "asfinspect " ASFINSPECT_VERSION "\n");
        return out.flush() ? kExitOk : write_error(err, out.error());
    }
    const Mode& mode = mode_of(options.show);
    if (mode.run != nullptr)
        return mode.run(options, out, err);
    const int status = run_inputs(options, out, err);
    note_ignored(err, options);
    return status;
}

int inspect_input(io::FileReader& file, io::Output& out, io::Output& err, const Options& options,
                  std::string_view path) {
    const Outcome outcome = read_file(file, out, options, path, false);
    if (!out.flush())
        return write_error(err, out.error());
    err.text(outcome.messages);
    err.flush();
    return outcome.unreadable ? kExitFailure : outcome.verdict.status;
}

int dump_input(io::FileReader& file, io::Output& out, io::Output& err, std::string_view path) {
    return inspect_input(file, out, err, Options{}, path);
}

}  // namespace asfinspect::app
