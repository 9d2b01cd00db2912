#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "app/options.hpp"
#include "decode/finding.hpp"
#include "decode/selection.hpp"
#include "decode/view.hpp"
#include "io/file_reader.hpp"
#include "io/output.hpp"

namespace asfinspect::app {

// Exit statuses.
inline constexpr int kExitOk = 0;
// A file can't be opened or read, a walk finds no file, or the output can't
// be written.
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;
// --check found an error, or a file is no ASF.
inline constexpr int kExitInconsistent = 3;

// What the decode of one file found.
struct Verdict {
    int status = 0;  // the exit status for this file alone
    std::uint64_t errors = 0;
    std::uint64_t warnings = 0;
    bool not_asf = false;
};

// One file as a mode reads it: what its view needs, and the decode, which
// notices a file that is no ASF whatever the view does with findings.
class FileRun {
  public:
    FileRun(io::FileReader& file, io::Output& out, const Options& options, std::string_view path,
            bool several)
        : file(file), out(out), options(options), path(path), several(several) {}

    // Whether the view writes as in a run over several files: always as JSON
    // and CSV, so that a script meets one shape (a path in every record)
    // whatever the number of files; as text only when there are several.
    bool named() const { return several || options.format != Format::text; }

    // decode::decode_file into `view`, the findings to `sink` (none: the
    // view ignores them).
    void decode(decode::View& view, decode::FindingSink* sink, const decode::Selection& selection);

    io::FileReader& file;
    io::Output& out;
    const Options& options;
    std::string_view path;
    bool several;  // one file of several, named in text output
    bool decoded = false;
    // The decoder's finding when the file begins with no ASF object.
    std::string not_asf;
};

// The view of each mode over one file, as the options ask: the table of
// modes names them. Each returns what the file came to for its mode.
Verdict drive_dump(FileRun& run);
Verdict drive_tree(FileRun& run);
Verdict drive_check(FileRun& run);
Verdict drive_summary(FileRun& run);
Verdict drive_objects(FileRun& run);
Verdict drive_timeline(FileRun& run);
Verdict drive_html(FileRun& run);

// --repair: FILE written whole again into the -o file; its exit status.
int run_repair(const Options& options, io::Output& out, io::Output& err);

// A usage error: what is wrong (none when empty), the usage line and where
// to find help on `err`; the exit status.
int usage_error(io::Output& err, std::string_view what);

// Decodes only as far as to know whether the file begins with an ASF object:
// for the modes whose view doesn't decode (the dump). The decoder's finding
// when it doesn't, else "".
std::string not_asf_finding(io::FileReader& file, std::string_view path);

// What a selection by --streams and --time leaves of a file: the stream
// numbers selected that the file doesn't declare, and whether any packet
// carries a media object of the selection (asked only for a time range:
// else it is true).
struct SelectionFound {
    decode::StreamSet undeclared;
    bool anything = true;
};
SelectionFound find_selection(io::FileReader& file, std::string_view path,
                              const decode::Selection& selection);

}  // namespace asfinspect::app
