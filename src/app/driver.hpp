#pragma once

#include "io/file_reader.hpp"
#include "io/output.hpp"

namespace asfinspect::app {

// Exit statuses.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;  // the file can't be read, or the dump can't be written
inline constexpr int kExitUsage = 2;

// The whole dump of one file: object list, header reports, every packet.
void dump_file(io::FileReader& file, io::Output& out);

// The command line: arguments as main receives them, the dump to `out`,
// messages to `err`. Returns the exit status.
int run(int argc, const char* const* argv, io::Output& out, io::Output& err);

}  // namespace asfinspect::app
