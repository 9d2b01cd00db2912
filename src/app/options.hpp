#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
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
    repair,    // a damaged file written whole again into a new one (--repair)
};

// How it is written.
enum class Format {
    text,
    json,  // --json
    csv,   // --csv
};

struct Options {
    Show show = Show::dump;
    Format format = Format::text;
    // --packets, --streams and --time; the --time RANGE as given, for messages.
    decode::Selection selection;
    std::string time_given;
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
    // The options of the mode's own (a Mode's `own`), by name, in the order
    // given, each with its value ("" for a switch).
    std::vector<std::pair<std::string, std::string>> own;
    // The arguments after the dump's FILE that look like options: it ignores
    // them, and says so.
    std::vector<std::string> ignored;

    // The value of the mode's own option `name`; nullopt when not given.
    std::optional<std::string_view> own_option(std::string_view name) const;
};

struct ParsedOptions {
    Options options;
    std::string error;  // empty when the command line is usable
};

// asfinspect [OPTION]... FILE...: for the dump, options come before its FILE
// and the arguments after it are ignored; for the other modes options and
// FILEs come in any order. "--" ends the options. What each mode takes comes
// from the table of modes.
ParsedOptions parse_options(int argc, const char* const* argv);

inline constexpr std::string_view kUsage = "usage: asfinspect [OPTION]... FILE...";
inline constexpr std::string_view kTryHelp = "Try 'asfinspect --help' for more information.";

}  // namespace asfinspect::app
