#include "app/options.hpp"

#include <charconv>
#include <optional>

namespace asfinspect::app {

namespace {

bool is_option(std::string_view arg) {
    return arg.size() > 1 && arg.front() == '-';
}

// The options that take a value, as --NAME=VALUE or --NAME VALUE.
struct Valued {
    std::string_view name;
    std::string_view noun;   // of the value
    std::string_view needs;  // when it is missing
    std::string_view forms;  // when it is malformed
};
constexpr Valued kPackets{"--packets", "packet range", "a SPEC: all, none, N, N-M or N-",
                          "all, none, N, N-M (M at least N) or N-"};
constexpr Valued kStreams{"--streams", "stream list", "a LIST of stream numbers: 1 or 1,2",
                          "stream numbers from 1 to 127, separated by commas"};
constexpr Valued kTime{"--time", "time range", "a RANGE of seconds: START-END, START- or -END",
                       "seconds as a player shows them, START-END, START- or -END"};
constexpr Valued kInterval{"--interval", "interval", "a number of SECONDS: 1 or 0.5",
                           "seconds, from 0.001, with up to three decimals"};
constexpr Valued kExt{"--ext", "extension list", "a LIST of extensions: wma,wmv,asf",
                      "extensions separated by commas, such as wma,wmv,asf"};
constexpr Valued kOut{"-o", "output file", "OUT, the file to write", "a file name"};
constexpr Valued kReference{"--reference", "reference file",
                            "GOOD, an intact file to lend its header", "a file name"};
constexpr Valued kJobs{"--jobs", "job count", "a number of files to read at once",
                       "a number of files to read at once, from 1"};

// "wma,WMV": lower case, without dots; nullopt when one is empty.
std::optional<std::vector<std::string>> parse_extensions(std::string_view list) {
    std::vector<std::string> extensions;
    std::size_t start = 0;
    // Each pass takes one extension, up to the next comma or the end.
    for (bool more = true; more;) {
        const auto comma = list.find(',', start);
        more = comma != std::string_view::npos;
        std::string_view ext = list.substr(start, more ? comma - start : std::string_view::npos);
        if (ext.starts_with('.'))
            ext.remove_prefix(1);
        if (ext.empty())
            return std::nullopt;
        std::string lower(ext);
        for (char& c : lower)
            c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        extensions.push_back(lower);
        start = comma + 1;
    }
    return extensions;
}

std::optional<unsigned> parse_jobs(std::string_view text) {
    unsigned jobs = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), jobs);
    if (error != std::errc() || end != text.data() + text.size() || jobs == 0 || jobs > 1024)
        return std::nullopt;
    return jobs;
}

// What the show and format flags of the command line were.
struct Flags {
    bool tree = false;
    bool json = false;
    bool csv = false;
    bool check = false;
    bool summary = false;
    bool objects = false;
    bool timeline = false;
    bool html = false;
};

std::string combination_error(const Flags& f) {
    const int shows = int{f.tree} + int{f.check} + int{f.summary} + int{f.objects} +
                      int{f.timeline} + int{f.html};
    if (shows > 1)
        return "--tree, --check, --summary, --objects, --timeline and --html can't be combined";

    if (f.html && (f.json || f.csv))
        return "--html writes HTML; it can't be used with --json or --csv";
    if (f.json && f.csv)
        return "--json and --csv can't be combined";
    if (f.tree && f.json)
        return "--tree can't be used with --json or --check";
    if (f.check && f.csv)
        return "--check writes no CSV; use --check --json";
    return {};
}

std::string batch_error(const Options& o, bool ext_given) {
    if (o.show == Show::dump && (o.recursive || ext_given || o.jobs != 0 || o.quiet))
        return "the dump reads one FILE; -r, --ext, -j and -q are for --tree, --json, --csv, "
               "--check, --summary, --objects and --timeline";
    if (o.show == Show::html && (o.paths.size() > 1 || o.recursive))
        return "--html writes the report of one FILE";
    if (o.quiet && o.show != Show::check)
        return "-q leaves out the files without errors of --check; it works with --check only";
    return {};
}

std::string selection_error(const Options& o) {
    const bool time = o.selection.time.has_value();
    if (o.show == Show::check && (o.packets_given || o.streams_given || time))
        return "--check reads every packet; --packets, --streams and --time can't be used with it";
    if (o.show == Show::dump && o.streams_given)
        return "--streams can't be used with the dump; it selects for --tree, --json, --csv, "
               "--objects and --summary";
    if ((o.show == Show::timeline || o.show == Show::html) && o.packets_given)
        return "--timeline and --html read every packet; --packets can't be used with them";
    if (o.show == Show::html && (o.streams_given || time))
        return "--html covers the whole file; --streams and --time can't be used with it";
    if (o.interval_given && o.show != Show::timeline)
        return "--interval is the length of --timeline's intervals; it works with --timeline only";
    if (o.show == Show::summary && time)
        return "--summary covers the whole file; --time can't be used with it";
    if (time && o.packets_given)
        return "--time and --packets can't be combined: each selects the packets";
    return {};
}

// --repair and its options: one FILE, no view, no selection.
std::string repair_error(const Options& o, bool shows, bool json_only) {
    const RepairOptions& r = o.repair;
    if (!r.given)
        return (!r.out.empty() || !r.reference.empty() || r.dry_run || r.force)
                   ? "-o, --reference, --dry-run and --force are for --repair"
                   : std::string();
    if (shows || !json_only)
        return "--repair writes a repaired file; only --json, -o, --reference, --dry-run and "
               "--force go with it";
    if (o.packets_given || o.streams_given || o.selection.time || o.interval_given || o.recursive ||
        o.jobs != 0 || o.quiet)
        return "--repair reads all of one FILE; it takes no selection and no batch options";
    if (o.paths.size() != 1)
        return "--repair repairs one FILE";
    if (r.out.empty() && !r.dry_run)
        return "--repair needs -o OUT, the file to write";
    return {};
}

}  // namespace

ParsedOptions parse_options(int argc, const char* const* argv) {
    ParsedOptions parsed;
    Options& o = parsed.options;
    Flags flags;
    // A valued option's value, from "--NAME=VALUE" or the next argument;
    // nullopt when `arg` is not that option.
    const auto value_of = [&](std::string_view arg, const Valued& v,
                              int& i) -> std::optional<std::string_view> {
        if (!arg.starts_with(v.name))
            return std::nullopt;
        if (arg.size() > v.name.size() && arg[v.name.size()] == '=')
            return arg.substr(v.name.size() + 1);
        if (arg.size() != v.name.size())
            return std::nullopt;
        if (i + 1 < argc)
            return std::string_view(argv[++i]);
        return std::string_view();
    };
    const auto invalid = [&](const Valued& v, std::string_view value) {
        parsed.error = value.empty() ? std::string(v.name) + " needs " + std::string(v.needs)
                                     : "invalid " + std::string(v.noun) + " '" +
                                           std::string(value) + "': use " + std::string(v.forms);
        return parsed;
    };
    bool ext_given = false;
    bool options_ended = false;
    // Each pass takes one argument. For the dump, its FILE ends the command
    // line; for the other views FILEs and options may come in any order.
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const bool shows_a_view = flags.tree || flags.json || flags.csv || flags.check ||
                                  flags.summary || flags.objects || flags.timeline || flags.html ||
                                  o.repair.given;
        if (options_ended || !is_option(arg)) {
            o.paths.emplace_back(arg);
            if (!shows_a_view)
                break;
            continue;
        }
        if (arg == "--") {
            options_ended = true;
        } else if (arg == "--help" || arg == "-h") {
            o.help = true;
        } else if (arg == "--version" || arg == "-V") {
            o.version = true;
        } else if (arg == "--tree") {
            flags.tree = true;
        } else if (arg == "--json") {
            flags.json = true;
        } else if (arg == "--csv") {
            flags.csv = true;
        } else if (arg == "--check") {
            flags.check = true;
        } else if (arg == "--summary") {
            flags.summary = true;
        } else if (arg == "--objects") {
            flags.objects = true;
        } else if (arg == "--timeline") {
            flags.timeline = true;
        } else if (arg == "--html") {
            flags.html = true;

        } else if (arg == "--repair") {
            o.repair.given = true;
        } else if (arg == "--dry-run") {
            o.repair.dry_run = true;
        } else if (arg == "--force") {
            o.repair.force = true;
        } else if (const auto out = value_of(arg, kOut, i)) {
            if (out->empty())
                return invalid(kOut, *out);
            o.repair.out = *out;
        } else if (const auto reference = value_of(arg, kReference, i)) {
            if (reference->empty())
                return invalid(kReference, *reference);
            o.repair.reference = *reference;
        } else if (arg == "-r" || arg == "--recursive") {
            o.recursive = true;
        } else if (arg == "-q" || arg == "--quiet") {
            o.quiet = true;
        } else if (const auto spec = value_of(arg, kPackets, i)) {
            const auto range = decode::parse_packet_range(*spec);
            if (!range)
                return invalid(kPackets, *spec);
            o.selection.packets = *range;
            o.packets_given = true;
        } else if (const auto list = value_of(arg, kStreams, i)) {
            const auto streams = decode::parse_stream_list(*list);
            if (!streams)
                return invalid(kStreams, *list);
            o.selection.streams = *streams;
            o.streams_given = true;
        } else if (const auto range = value_of(arg, kTime, i)) {
            const auto time = decode::parse_time_range(*range);
            if (!time)
                return invalid(kTime, *range);
            o.selection.time = *time;
        } else if (const auto seconds = value_of(arg, kInterval, i)) {
            const auto ms = decode::parse_seconds(*seconds);
            if (!ms || *ms == 0)
                return invalid(kInterval, *seconds);
            o.interval = *ms;
            o.interval_given = true;
        } else if (const auto exts = value_of(arg, kExt, i)) {
            const auto extensions = parse_extensions(*exts);
            if (!extensions)
                return invalid(kExt, *exts);
            o.extensions = *extensions;
            ext_given = true;
        } else if (const auto count = arg.starts_with("-j") && arg.size() > 2
                                          ? std::optional<std::string_view>(arg.substr(2))
                                      : arg == "-j" ? value_of("--jobs", kJobs, i)
                                                    : value_of(arg, kJobs, i)) {
            const auto jobs = parse_jobs(*count);
            if (!jobs)
                return invalid(kJobs, *count);
            o.jobs = *jobs;
        } else {
            parsed.error = "unknown option '" + std::string(arg) + "'";
            return parsed;
        }
    }
    if (o.help || o.version)
        return parsed;
    if (o.repair.given || !o.repair.out.empty() || !o.repair.reference.empty() ||
        o.repair.dry_run || o.repair.force) {
        const bool shows = flags.tree || flags.csv || flags.check || flags.summary ||
                           flags.objects || flags.timeline || flags.html;
        parsed.error = repair_error(o, shows, !ext_given);
        o.format = flags.json ? Format::json : Format::text;
        if (parsed.error.empty() && o.paths.empty())
            parsed.error = "no FILE given";
        return parsed;
    }
    parsed.error = combination_error(flags);
    if (!parsed.error.empty())
        return parsed;
    o.show = flags.check                             ? Show::check
             : flags.summary                         ? Show::summary
             : flags.objects                         ? Show::objects
             : flags.timeline                        ? Show::timeline
             : flags.html                            ? Show::html
             : flags.tree || flags.json || flags.csv ? Show::tree
                                                     : Show::dump;
    o.format = flags.json ? Format::json : flags.csv ? Format::csv : Format::text;
    parsed.error = selection_error(o);
    if (parsed.error.empty())
        parsed.error = batch_error(o, ext_given);
    if (parsed.error.empty() && o.paths.empty())
        parsed.error = "no FILE given";
    return parsed;
}

}  // namespace asfinspect::app
