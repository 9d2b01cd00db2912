#include "app/options.hpp"

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

// What the show and format flags of the command line were.
struct Flags {
    bool tree = false;
    bool json = false;
    bool csv = false;
    bool check = false;
    bool summary = false;
    bool objects = false;
};

std::string combination_error(const Flags& f) {
    const int shows = int{f.tree} + int{f.check} + int{f.summary} + int{f.objects};
    if (shows > 1)
        return "--tree, --check, --summary and --objects can't be combined";
    if (f.json && f.csv)
        return "--json and --csv can't be combined";
    if (f.tree && f.json)
        return "--tree can't be used with --json or --check";
    if (f.check && f.csv)
        return "--check writes no CSV; use --check --json";
    return {};
}

std::string selection_error(const Options& o) {
    const bool time = o.selection.time.has_value();
    if (o.show == Show::check && (o.packets_given || o.streams_given || time))
        return "--check reads every packet; --packets, --streams and --time can't be used with it";
    if (o.show == Show::dump && o.streams_given)
        return "--streams can't be used with the dump; it selects for --tree, --json, --csv, "
               "--objects and --summary";
    if (o.show == Show::summary && time)
        return "--summary covers the whole file; --time can't be used with it";
    if (time && o.packets_given)
        return "--time and --packets can't be combined: each selects the packets";
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
    // Each pass takes one option, or the FILE that ends them.
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--") {
            if (i + 1 < argc)
                o.paths.emplace_back(argv[i + 1]);
            break;
        }
        if (!is_option(arg)) {
            o.paths.emplace_back(arg);
            break;
        }
        if (arg == "--help") {
            o.help = true;
        } else if (arg == "--version") {
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
        } else {
            parsed.error = "unknown option '" + std::string(arg) + "'";
            return parsed;
        }
    }
    if (o.help || o.version)
        return parsed;
    parsed.error = combination_error(flags);
    if (!parsed.error.empty())
        return parsed;
    o.show = flags.check                             ? Show::check
             : flags.summary                         ? Show::summary
             : flags.objects                         ? Show::objects
             : flags.tree || flags.json || flags.csv ? Show::tree
                                                     : Show::dump;
    o.format = flags.json ? Format::json : flags.csv ? Format::csv : Format::text;
    parsed.error = selection_error(o);
    if (parsed.error.empty() && o.paths.empty())
        parsed.error = "no FILE given";
    return parsed;
}

}  // namespace asfinspect::app
