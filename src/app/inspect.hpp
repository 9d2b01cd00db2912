#pragma once

#include <string>
#include <string_view>

#include "app/driver.hpp"
#include "app/options.hpp"
#include "io/file_reader.hpp"
#include "io/output.hpp"

namespace asfinspect::app {

// One input of a run: a file to read, or an operand that can't be, with why.
struct Entry {
    std::string path;
    std::string problem;  // empty for a file to read
};

// What reading one input came to.
struct Outcome {
    bool unreadable = false;  // it couldn't be opened or read through
    Verdict verdict;
    // Its lines for standard error, "asfinspect: PATH: WHAT", each ended:
    // written after its output.
    std::string messages;
};

// Reads the open `file` at `path` in the options' mode, its output to `out`
// (`several`: one file of several). Then says what the output doesn't: a
// read that failed, a file that is no ASF, a selection that found nothing.
Outcome read_file(io::FileReader& file, io::Output& out, const Options& options,
                  std::string_view path, bool several);

// Opens the input and reads it, or says why it can't be read.
Outcome read_entry(const Entry& entry, io::Output& out, const Options& options, bool several);

// "asfinspect: PATH: WHAT\n"
std::string message_line(std::string_view path, std::string_view what);

}  // namespace asfinspect::app
