#pragma once

#include <cstdint>
#include <string_view>

#include "app/options.hpp"
#include "io/file_reader.hpp"
#include "io/output.hpp"

namespace asfinspect::app {

// Exit statuses.
inline constexpr int kExitOk = 0;
// The file can't be opened or read, or the dump can't be written.
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitInconsistent = 3;  // --check found an error

// How the output of one file of several is written: its lines name it, and
// a CSV header row comes with the first file's only.
struct FileStyle {
    std::string_view path;
    bool quiet = false;   // --check -q: only the errors
    bool header = false;  // this file's CSV has the header row
};

// What the decode of one file found.
struct Verdict {
    int status = 0;  // the exit status for this file alone
    std::uint64_t errors = 0;
    std::uint64_t warnings = 0;
    bool not_asf = false;
};

// The complete decode of one file as the options ask: a tree, JSON, CSV, the
// findings of a check, a summary or the media objects; `style` when it is one
// file of several.
Verdict inspect_file(io::FileReader& file, io::Output& out, const Options& options,
                     std::string_view path, const FileStyle* style = nullptr);

// dump::dump_file, then the end of the run: the rest of the dump goes to `out`, and a
// failed write or a failed read of `file` (found at `path`), or a file that
// changed while it was read, is reported on `err`, after what was dumped.
// Returns the exit status.
int dump_input(io::FileReader& file, io::Output& out, io::Output& err, std::string_view path);

// inspect_file, then the end of the run as for dump_input.
int inspect_input(io::FileReader& file, io::Output& out, io::Output& err, const Options& options,
                  std::string_view path);

// The command line: arguments as main receives them, the dump to `out`,
// messages to `err`. Returns the exit status.
int run(int argc, const char* const* argv, io::Output& out, io::Output& err);

}  // namespace asfinspect::app
