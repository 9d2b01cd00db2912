#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "decode/selection.hpp"

namespace asfinspect::app {

// What a run shows of a file.
enum class Show {
    dump,      // the classic dump (no option)
    tree,      // the complete decode (--tree, or --json or --csv alone)
    check,     // the findings (--check)
    summary,   // one screen of answers (--summary)
    objects,   // the media objects (--objects)
    timeline,  // delivery over time (--timeline)
    html,      // a report to look at in a browser (--html)
};

// How it is written.
enum class Format {
    text,
    json,  // --json
    csv,   // --csv
};

// --repair: FILE written whole again into OUT.
struct RepairOptions {
    bool given = false;
    std::string out;        // -o OUT
    std::string reference;  // --reference=GOOD
    bool dry_run = false;
    bool force = false;
};

struct Options {
    Show show = Show::dump;
    Format format = Format::text;
    // --packets, --streams and --time.
    decode::Selection selection;
    bool packets_given = false;
    // --interval: the timeline's, in ms.
    std::uint64_t interval = 1000;
    bool interval_given = false;
    bool streams_given = false;
    bool help = false;
    bool version = false;
    // The FILE operands: for the dump its one FILE, the arguments after it
    // ignored; for the other views every operand, before or after options.
    std::vector<std::string> paths;
    // Over several files: -r walks directories, for files of these
    // extensions (lower case, without the dot); -j files at once (0: as many
    // as there are processors); -q leaves out the files without errors.
    bool recursive = false;
    std::vector<std::string> extensions{"asf", "wma", "wmv"};
    unsigned jobs = 0;
    bool quiet = false;
    RepairOptions repair;
};

struct ParsedOptions {
    Options options;
    std::string error;  // empty when the command line is usable
};

// asfinspect [OPTION]... FILE: options come before FILE, "--" ends them, and
// the arguments after FILE are ignored.
ParsedOptions parse_options(int argc, const char* const* argv);

inline constexpr std::string_view kUsage = "usage: asfinspect [OPTION]... FILE...";
inline constexpr std::string_view kTryHelp = "Try 'asfinspect --help' for more information.";

}  // namespace asfinspect::app
