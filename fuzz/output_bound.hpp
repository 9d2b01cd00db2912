#pragma once

// The most text the dump of an n-byte file can produce: C * n + K bytes.
// Shared by the fuzz target, which aborts when a run exceeds it, and by the
// hostile-file tests.
//
// Every line of the dump is paid for by a position in the file:
//
// - Object lines. Each pass of an object walk needs all 24 header bytes inside
//   the file and moves forward by at least one byte; a nested header walk
//   covers only the inside of its header object, and the outer walk resumes
//   after that object. So every file position starts at most one object line,
//   which may be followed by one warning ("Illegal length of chunk" or
//   "Header nesting too deep"). Longest: 64 spaces of indent, a 16-digit
//   offset, an unknown GUID (35 characters), the size and the warning.
// - Packets. Packets are spaced by the Minimum Data Packet Size, which may be
//   as small as 1, and the loop stops at the end of the file; a size of 0
//   dumps one packet. So there is at most one packet per file position.
// - Segments. An other-form packet lists up to 255 segments (a standard-form
//   one up to 63), each a title, a 20-byte dump and a handful of field lines.
// - Sub-payloads. Within a packet the payload cursor only moves forward, and
//   a sub-payload line either ends inside the packet, one byte further at
//   least, or ends its grouped payload (the overrun warning) or the whole
//   packet (the end of the file). The packet spans its explicit Packet
//   Length, at most 65535 bytes, or the Minimum Data Packet Size, which is
//   then also the spacing of the packets and so costs at most two lines per
//   file position overall. That gives at most 65535 + 63 + 2 sub-payload
//   lines per file position.
// - Reports and the odd closing line (file properties, two stream reports,
//   the first packet offset, "Truncated file", "Packet size is 0") are paid
//   once, in K.
//
// Each per-line maximum below is generous (about twice the longest line).

#include <cstdint>

namespace asfinspect::fuzz {

inline constexpr std::uint64_t kObjectLineBytes = 256;     // line and its warning
inline constexpr std::uint64_t kPacketHeaderBytes = 512;   // title, dump, header fields, area
inline constexpr std::uint64_t kSegmentBytes = 512;        // one segment's block
inline constexpr std::uint64_t kSegmentsPerPacket = 255;   // other form; standard form 63
inline constexpr std::uint64_t kSubPayloadLineBytes = 96;  // " Stream ..." and its warning
inline constexpr std::uint64_t kSubPayloadLinesPerPosition = 65535 + 63 + 2;

inline constexpr std::uint64_t kOutputBytesPerInputByte =
    kObjectLineBytes + kPacketHeaderBytes + kSegmentsPerPacket * kSegmentBytes +
    kSubPayloadLinesPerPosition * kSubPayloadLineBytes;
inline constexpr std::uint64_t kFixedOutputBytes = 8192;

inline constexpr std::uint64_t output_bound(std::uint64_t input_bytes) {
    return kOutputBytesPerInputByte * input_bytes + kFixedOutputBytes;
}

}  // namespace asfinspect::fuzz
