#pragma once

#include <string>
#include <string_view>

#include "decode/packet_range.hpp"

namespace asfinspect::app {

enum class Mode {
    dump,   // the classic dump
    tree,   // --tree
    json,   // --json
    check,  // --check, with --json for JSON findings
};

struct Options {
    Mode mode = Mode::dump;
    bool check_json = false;
    decode::PacketRange packets = decode::PacketRange::all();
    bool packets_given = false;
    bool help = false;
    bool version = false;
    const char* path = nullptr;
};

struct ParsedOptions {
    Options options;
    std::string error;  // empty when the command line is usable
};

// asfinspect [OPTION]... FILE: options come before FILE, "--" ends them, and
// the arguments after FILE are ignored.
ParsedOptions parse_options(int argc, const char* const* argv);

inline constexpr std::string_view kUsage = "usage: asfinspect [OPTION]... FILE";

}  // namespace asfinspect::app
