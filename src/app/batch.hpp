#pragma once

#include <string>
#include <vector>

#include "app/options.hpp"
#include "io/output.hpp"

namespace asfinspect::app {

// One input of a run: a file to read, or an operand that can't be, with why.
struct Entry {
    std::string path;
    std::string problem;  // empty for a file to read
};

// The inputs of a run, in order: the operands, and with --recursive the files
// in the directories among them, walked by name (symbolic links not
// followed), those with one of the extensions only.
std::vector<Entry> list_inputs(const Options& options);

// Reads the inputs, `options.jobs` at once, writing each one's output whole
// and in their order; then, for --check, a count of the files by what was
// found. Problems reading an input go to `err` with its name, and the run
// goes on. Returns the exit status over all of them.
int run_batch(const Options& options, const std::vector<Entry>& inputs, io::Output& out,
              io::Output& err);

}  // namespace asfinspect::app
