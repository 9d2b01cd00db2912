#pragma once

#include "asf/scan_state.hpp"
#include "io/output.hpp"

namespace asfinspect::report {

// Prints the "Dumping file header: " block; integers go out in the current base.
void report_file_properties(io::Output& out, const asf::FileProperties& raw);

}  // namespace asfinspect::report
