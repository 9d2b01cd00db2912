#pragma once

#include "asf/scan_state.hpp"
#include "io/output.hpp"

namespace asfinspect::report {

// Prints the "Dumping stream header: " block. Leaves the Output in decimal.
void report_stream(io::Output& out, const asf::StreamSlot& slot);

}  // namespace asfinspect::report
