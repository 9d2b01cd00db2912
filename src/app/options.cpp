#include "app/options.hpp"

#include <algorithm>
#include <charconv>
#include <optional>

#include "app/modes.hpp"

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
                       "seconds as a player shows them, START-END, START- or -END, each at "
                       "most 9223372036854775.807"};
constexpr Valued kInterval{"--interval", "interval", "a number of SECONDS: 1 or 0.5",
                           "seconds from 0.001 to 9223372036854775.807, with up to three "
                           "decimals"};
constexpr Valued kExt{"--ext", "extension list", "a LIST of extensions: wma,wmv,asf",
                      "extensions separated by commas, such as wma,wmv,asf"};
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

// "A, B and C" (`last` "and"), "A or B" (`last` "or").
std::string joined(const std::vector<std::string_view>& names, std::string_view last) {
    std::string text;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i != 0 && i + 1 == names.size()) {
            text.append(" ").append(last).append(" ");
        } else if (i != 0) {
            text += ", ";
        }
        text += names[i];
    }
    return text;
}

// "A, B and C", or "A only".
std::string listed(const std::vector<std::string_view>& names) {
    return names.size() == 1 ? std::string(names.front()) + " only" : joined(names, "and");
}

// The modes that take what `what` names, as messages name them.
std::string modes_taking(unsigned what) {
    std::vector<std::string_view> labels;
    for (const Mode& mode : modes()) {
        if ((mode.takes & what) != 0)
            labels.push_back(mode.label);
    }
    return listed(labels);
}

// "text, JSON or CSV"
std::string format_names(const Mode& mode) {
    std::vector<std::string_view> names;
    if ((mode.formats & formats::kText) != 0)
        names.push_back(mode.text_is);
    if ((mode.formats & formats::kJson) != 0)
        names.push_back("JSON");
    if ((mode.formats & formats::kCsv) != 0)
        names.push_back("CSV");
    return joined(names, "or");
}

// What the command line asked for, before it is checked against the mode.
struct Given {
    std::vector<const Mode*> flagged;  // the modes whose option was given
    bool json = false;
    bool csv = false;
    bool ext = false;
};

std::string mode_error(const Given& g, const Options& o, const Mode& mode) {
    if (g.flagged.size() > 1) {
        std::vector<std::string_view> flags;
        for (const Mode& m : modes()) {
            if (!m.flag.empty())
                flags.push_back(m.flag);
        }
        return listed(flags) + " can't be combined";
    }
    if (g.json && g.csv)
        return "--json and --csv can't be combined";
    const std::string_view format = g.json ? "--json" : "--csv";
    if ((mode.formats & (1u << static_cast<unsigned>(o.format))) == 0)
        return std::string(mode.label) + " writes " + format_names(mode) +
               "; it can't be used with " + std::string(format);
    // The tree's option names its text; --json alone is the decode as JSON.
    if (mode.show == Show::tree && !g.flagged.empty() && g.json)
        return "--tree writes the decode as text; --json alone writes it as JSON";
    return {};
}

// What was given that the mode doesn't take: an option of selection or of
// runs over many files, several FILEs, or an option of another mode's own.
std::string takes_error(const Options& o, const Given& g, const Mode& mode) {
    const struct {
        bool given;
        unsigned bit;
        std::string_view name;
    } asked[] = {
        {o.packets_given, takes::kPackets, "--packets"},
        {o.streams_given, takes::kStreams, "--streams"},
        {o.selection.time.has_value(), takes::kTime, "--time"},
        {o.interval_given, takes::kInterval, "--interval"},
        {o.paths.size() > 1, takes::kMany, "more than one FILE"},
        {o.recursive, takes::kMany, "-r"},
        {g.ext, takes::kMany, "--ext"},
        {o.jobs != 0, takes::kMany, "-j"},
        {o.quiet, takes::kQuiet, "-q"},
    };
    for (const auto& a : asked) {
        if (a.given && (mode.takes & a.bit) == 0)
            return std::string(a.name) + " can't be used with " + std::string(mode.label) +
                   ": it works with " + modes_taking(a.bit);
    }
    if (o.selection.time && o.packets_given)
        return "--time and --packets can't be combined: each selects the packets";
    for (const auto& given : o.own) {
        // A name of its own, which a lambda can capture (a structured binding
        // can't be, for clang).
        const std::string& name = given.first;
        const bool its_own = std::any_of(mode.own.begin(), mode.own.end(),
                                         [&](const OwnOption& own) { return own.name == name; });
        if (its_own)
            continue;
        std::vector<std::string_view> owners;
        for (const Mode& m : modes()) {
            if (std::any_of(m.own.begin(), m.own.end(),
                            [&](const OwnOption& own) { return own.name == name; }))
                owners.push_back(m.label);
        }
        return name + " can't be used with " + std::string(mode.label) + ": it works with " +
               listed(owners);
    }
    return {};
}

// The row of an option of a mode's own that `arg` names, or nullptr.
const OwnOption* own_option_named(std::string_view arg) {
    for (const Mode& mode : modes()) {
        for (const OwnOption& own : mode.own) {
            if (arg == own.name ||
                (own.valued && arg.starts_with(own.name) && arg.size() > own.name.size() &&
                 (arg[own.name.size()] == '=' || !own.name.starts_with("--"))))
                return &own;
        }
    }
    return nullptr;
}

}  // namespace

std::optional<std::string_view> Options::own_option(std::string_view name) const {
    for (const auto& [given, value] : own) {
        if (given == name)
            return std::string_view(value);
    }
    return std::nullopt;
}

ParsedOptions parse_options(int argc, const char* const* argv) {
    ParsedOptions parsed;
    Options& o = parsed.options;
    Given given;
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
    bool options_ended = false;
    bool dump_file_given = false;
    // Each pass takes one argument. For the dump, its FILE ends the command
    // line (the options after it are noted); for the other modes FILEs and
    // options may come in any order.
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (dump_file_given) {
            if (is_option(arg))
                o.ignored.emplace_back(arg);
            continue;
        }
        if (options_ended || !is_option(arg)) {
            o.paths.emplace_back(arg);
            dump_file_given = given.flagged.empty() && !given.json && !given.csv;
            continue;
        }
        const auto flagged = std::find_if(modes().begin(), modes().end(), [&](const Mode& m) {
            return !m.flag.empty() && m.flag == arg;
        });
        if (flagged != modes().end()) {
            if (std::find(given.flagged.begin(), given.flagged.end(), &*flagged) ==
                given.flagged.end())
                given.flagged.push_back(&*flagged);
        } else if (arg == "--") {
            options_ended = true;
        } else if (arg == "--help" || arg == "-h") {
            o.help = true;
        } else if (arg == "--version" || arg == "-V") {
            o.version = true;
        } else if (arg == "--json") {
            given.json = true;
        } else if (arg == "--csv") {
            given.csv = true;
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
            o.time_given = *range;
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
            given.ext = true;
        } else if (const auto count = arg.starts_with("-j") && arg.size() > 2
                                          ? std::optional<std::string_view>(arg.substr(2))
                                      : arg == "-j" ? value_of("--jobs", kJobs, i)
                                                    : value_of(arg, kJobs, i)) {
            const auto jobs = parse_jobs(*count);
            if (!jobs)
                return invalid(kJobs, *count);
            o.jobs = *jobs;
        } else if (const OwnOption* own = own_option_named(arg)) {
            std::string value;
            if (own->valued && arg.size() > own->name.size()) {
                value = arg.substr(own->name.size() + (arg[own->name.size()] == '=' ? 1 : 0));
            } else if (own->valued && i + 1 < argc) {
                value = argv[++i];
            } else if (own->valued) {
                parsed.error = std::string(own->name) + " needs a value";
                return parsed;
            }
            o.own.emplace_back(own->name, std::move(value));
        } else {
            parsed.error = "unknown option '" + std::string(arg) + "'";
            return parsed;
        }
    }
    if (o.help || o.version)
        return parsed;
    o.format = given.json ? Format::json : given.csv ? Format::csv : Format::text;
    const Mode& mode = !given.flagged.empty()    ? *given.flagged.front()
                       : given.json || given.csv ? mode_of(Show::tree)
                                                 : mode_of(Show::dump);
    o.show = mode.show;
    parsed.error = mode_error(given, o, mode);
    if (parsed.error.empty())
        parsed.error = takes_error(o, given, mode);
    if (parsed.error.empty() && o.paths.empty())
        parsed.error = "no FILE given";
    return parsed;
}

}  // namespace asfinspect::app
