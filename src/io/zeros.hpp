#pragma once

#include <cstdint>

#include "io/file_reader.hpp"

namespace asfinspect::io {

// Runs of zero bytes in a file (what a capture that preallocated its file
// leaves after its data, or a muxer after a packet's payloads). Both read
// only as far as the run goes, and give up once a read fails.

// The offset of the first byte of [from, to) that isn't zero, or `to`.
std::int64_t zeros_end(FileReader& file, std::int64_t from, std::int64_t to);
// Where the run of zero bytes that ends at `to` starts, no earlier than
// `from`: `to` when the byte before it isn't zero.
std::int64_t zeros_start(FileReader& file, std::int64_t from, std::int64_t to);

}  // namespace asfinspect::io
