#include "app/options.hpp"

namespace asfinspect::app {

namespace {

constexpr std::string_view kPacketsOption = "--packets";

bool is_option(std::string_view arg) {
    return arg.size() > 1 && arg.front() == '-';
}

std::string conflict(const Options& o) {
    if (o.show == Show::check && o.packets_given)
        return "--check reads every packet; --packets can't be used with it";
    return {};
}

}  // namespace

ParsedOptions parse_options(int argc, const char* const* argv) {
    ParsedOptions parsed;
    Options& o = parsed.options;
    bool tree = false;
    bool json = false;
    bool check = false;
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
            tree = true;
        } else if (arg == "--json") {
            json = true;
        } else if (arg == "--check") {
            check = true;
        } else if (arg.starts_with(kPacketsOption) &&
                   (arg.size() == kPacketsOption.size() || arg[kPacketsOption.size()] == '=')) {
            std::string_view spec;
            if (arg.size() > kPacketsOption.size()) {
                spec = arg.substr(kPacketsOption.size() + 1);
            } else if (i + 1 < argc) {
                spec = argv[++i];
            } else {
                parsed.error = "--packets needs a SPEC: all, none, N, N-M or N-";
                return parsed;
            }
            const auto range = decode::parse_packet_range(spec);
            if (!range) {
                parsed.error = "invalid packet range '" + std::string(spec) +
                               "': use all, none, N, N-M (M at least N) or N-";
                return parsed;
            }
            o.packets = *range;
            o.packets_given = true;
        } else {
            parsed.error = "unknown option '" + std::string(arg) + "'";
            return parsed;
        }
    }
    if (o.help || o.version)
        return parsed;
    if (tree && (json || check)) {
        parsed.error = "--tree can't be used with --json or --check";
        return parsed;
    }
    o.show = check ? Show::check : json || tree ? Show::tree : Show::dump;
    o.format = json ? Format::json : Format::text;
    parsed.error = conflict(o);
    if (parsed.error.empty() && o.paths.empty())
        parsed.error = "no FILE given";
    return parsed;
}

}  // namespace asfinspect::app
