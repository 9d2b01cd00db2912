#pragma once

#include <functional>

#include "app/inspect.hpp"
#include "app/options.hpp"
#include "io/output.hpp"

namespace asfinspect::app {

// Takes the next input; false stops the listing.
using TakeInput = std::function<bool(Entry)>;

// Hands `take` the inputs of a run, in order: the operands, and with
// --recursive the files in the directories among them, walked by name
// (symbolic links not followed), those with one of the extensions only; a
// directory in which the walk finds no such file is an input that can't be
// read. False when `take` stopped it.
bool list_inputs(const Options& options, const TakeInput& take);

// Whether the run is over several files, each named in the output: more
// than one operand, or directories to walk, or -q.
bool over_several(const Options& options);

// Reads the inputs of the run in the options' mode: one file straight to
// `out`; several `options.jobs` at once, each one's output whole and in
// their order. Each input's messages go to `err` after its output; then,
// for --check over several, a count of the files by what was found.
// Returns the exit status over all of them.
int run_inputs(const Options& options, io::Output& out, io::Output& err);

}  // namespace asfinspect::app
