#pragma once

// The classic dump: the object list with offsets, the file and stream
// properties, and the data packets with their raw bytes, field by field. Its
// output is fixed to the byte.

#include <span>

#include "decode/selection.hpp"
#include "io/file_reader.hpp"
#include "io/output.hpp"

namespace asfinspect::dump {

// The whole dump of one file: object list, header reports, and the packets
// in `packets` (all of them by default), each exactly as the full dump shows it.
void dump_file(io::FileReader& file, io::Output& out,
               const decode::PacketRange& packets = decode::PacketRange::all());
// The same with the packets of several runs, in the order given.
void dump_file(io::FileReader& file, io::Output& out, std::span<const decode::PacketRange> runs);

}  // namespace asfinspect::dump
