#pragma once

#include <string_view>

#include "app/options.hpp"
#include "io/file_reader.hpp"
#include "io/output.hpp"

namespace asfinspect::app {

// The command line: arguments as main receives them, the output to `out`,
// messages to `err`. Returns the exit status.
int run(int argc, const char* const* argv, io::Output& out, io::Output& err);

// One open file in the options' mode, as a run over it alone: its output to
// `out`, then what is said of it (a failed read or write, a file that is no
// ASF) on `err`, each message naming `path`. Returns the exit status.
int inspect_input(io::FileReader& file, io::Output& out, io::Output& err, const Options& options,
                  std::string_view path);

// inspect_input for the dump.
int dump_input(io::FileReader& file, io::Output& out, io::Output& err, std::string_view path);

}  // namespace asfinspect::app
