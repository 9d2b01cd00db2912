#pragma once

#include <cstdint>

#include "asf/object_format.hpp"
#include "dump/scan_state.hpp"
#include "io/file_reader.hpp"
#include "io/output.hpp"

namespace asfinspect::dump {

using asf::object_format::kObjectHeaderSize;
// After the header object's own 24 bytes: a 32-bit child count and two reserved bytes.
inline constexpr std::int64_t kHeaderObjectPreamble = 6;
// After the data object's own 24 bytes: File ID, Total Data Packets and two reserved bytes.
inline constexpr std::int64_t kDataObjectPreamble = 26;
// Header objects nested this deep are listed but not descended into.
inline constexpr int kMaxHeaderDepth = 64;

// Lists the run of objects in [start, start + length), one line each, descending
// into header objects, and captures what the later stages need into `state`.
void walk_objects(io::FileReader& file, io::Output& out, ScanState& state, std::int64_t start,
                  std::int64_t length, int depth);

}  // namespace asfinspect::dump
