#pragma once

#include <span>
#include <string_view>

#include "app/driver.hpp"
#include "app/options.hpp"
#include "io/output.hpp"

namespace asfinspect::app {

// The formats a mode writes, as bits.
namespace formats {
inline constexpr unsigned kText = 1u << static_cast<unsigned>(Format::text);
inline constexpr unsigned kJson = 1u << static_cast<unsigned>(Format::json);
inline constexpr unsigned kCsv = 1u << static_cast<unsigned>(Format::csv);
}  // namespace formats

// The options a mode takes beside its own, as bits.
namespace takes {
inline constexpr unsigned kPackets = 1u << 0;   // --packets
inline constexpr unsigned kStreams = 1u << 1;   // --streams
inline constexpr unsigned kTime = 1u << 2;      // --time
inline constexpr unsigned kInterval = 1u << 3;  // --interval
inline constexpr unsigned kMany = 1u << 4;      // several FILEs, -r, --ext, -j
inline constexpr unsigned kQuiet = 1u << 5;     // -q
}  // namespace takes

// An option that only one mode takes ("-o OUT" of a mode that writes a
// file): a switch, or an option with a value (--NAME=VALUE, --NAME VALUE,
// -X VALUE).
struct OwnOption {
    std::string_view name;
    bool valued = false;
};

// A mode: what the command line asks of each file. A new mode is a row
// here and its view (a drive_ function).
struct Mode {
    Show show;
    // Its option; empty for the dump, which is what no option asks for.
    std::string_view flag;
    // How messages name it: "--summary", "the dump".
    std::string_view label;
    unsigned formats;          // of formats::
    std::string_view text_is;  // what its text output is: "text", "HTML"
    unsigned takes;            // of takes::
    std::span<const OwnOption> own;
    // Over several files as text, what comes between two files' outputs.
    std::string_view between_files;
    // Over several files as text, a last line counts the files by verdict.
    bool counts_files;
    // Whether a file that is no ASF fails the run (exit 3): the dump's exit
    // status is part of its contract, and it only notes it.
    bool fails_not_asf;
    // Its CSV header row, with the path column first; nullptr without CSV.
    void (*csv_header)(io::Output& out, bool path);
    // Its view of each file; nullptr for a mode that runs on its own.
    Verdict (*drive)(FileRun& run);
    // A mode that does more than read its FILE (one that writes a new file)
    // runs on its own, from the command line; it returns the exit status.
    int (*run)(const Options& options, io::Output& out, io::Output& err) = nullptr;
};

std::span<const Mode> modes();
const Mode& mode_of(Show show);

}  // namespace asfinspect::app
