#pragma once

#include <functional>
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

// Takes the next input; false stops the listing.
using TakeInput = std::function<bool(Entry)>;

// Hands `take` the inputs of a run, in order: the operands, and with
// --recursive the files in the directories among them, walked by name
// (symbolic links not followed), those with one of the extensions only.
// False when `take` stopped it.
bool list_inputs(const Options& options, const TakeInput& take);

// Lists the inputs and reads them as they come, `options.jobs` at once,
// writing each one's output whole and in their order; then, for --check, a
// count of the files by what was found. Problems reading an input go to
// `err` with its name, and the run goes on. Returns the exit status over
// all of them.
int run_batch(const Options& options, io::Output& out, io::Output& err);

}  // namespace asfinspect::app
