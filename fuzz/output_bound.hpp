#pragma once

// The most text the dump of an n-byte file can produce: C * n + K bytes.
// Shared by the fuzz target, which aborts when a run exceeds it, and by the
// hostile-file tests; any other output of the same file can be held to it too.
//
// Every line of the dump is paid for by a position in the file, and each
// constant below is the longest text that one position can start, with
// offsets of 19 decimal or 16 hexadecimal digits (any int64 position):
//
// - Object lines. Each pass of an object walk needs all 24 header bytes inside
//   the file and moves forward by at least one byte; a nested header walk
//   covers only the inside of its header object, and the outer walk resumes
//   after that object. So every position starts at most one object line: 64
//   spaces of indent, the offset, ": Unknown GUID ", a GUID of 35 characters,
//   ", size 0x" and a size such as -9.22337e+18 (152 bytes), then "Illegal
//   length of chunk" (24). A header object's line is shorter and may carry
//   both warnings. 176 bytes.
// - Packets. Packets are spaced by the Minimum Data Packet Size, which may be
//   as small as 1, and the loop stops at the end of the file; a size of 0
//   dumps one packet. So a position starts at most one packet: its title, its
//   16-byte dump and its header fields, the standard form with every optional
//   field being the longest (339 bytes), and then its segments:
//   - the other form lists up to 255 segments, each a title of up to 44 bytes,
//     a 20-byte dump (61), "Key frame" (10) and a local-flags line of up to 39
//     ("( Multiple fragments )"): 154 bytes, 39,270 for the packet;
//   - the standard form lists up to 63, each at most 317 bytes with the single
//     stream line that may overrun its grouped payload and the warning, plus
//     one "Unexpected end of file" (23): 20,000 bytes or so, below the other
//     form, which is the one counted.
// - Sub-payloads inside a packet. A packet's walk stops at the next packet
//   (packet offset + min(size, spacing)), and its cursor only moves forward,
//   so every sub-payload line that doesn't end its walk (those are counted with
//   the segments above) starts at its own position, walked by no other
//   packet: one line of up to 54 bytes per position.
// - Reports and the odd closing line (file properties, two stream reports,
//   the first packet offset, "Truncated file", "Packet size is 0") are paid
//   once, in K, a few KiB at most.
//
// C = 176 + 339 + 255 * 154 + 54 = 39,839. The worst measured is a file of
// 0x7f bytes read as one-byte-spaced packets of the other form, 255 segments
// each: about 30,500 bytes per input byte with offsets of five digits.

#include <cstdint>

namespace asfinspect::fuzz {

inline constexpr std::uint64_t kObjectLineBytes = 176;     // line and its warning
inline constexpr std::uint64_t kPacketHeaderBytes = 339;   // title, dump, header fields
inline constexpr std::uint64_t kSegmentBytes = 154;        // one other-form segment block
inline constexpr std::uint64_t kSegmentsPerPacket = 255;   // other form; standard form 63
inline constexpr std::uint64_t kSubPayloadLineBytes = 54;  // " Stream ..." inside the packet

inline constexpr std::uint64_t kOutputBytesPerInputByte = kObjectLineBytes + kPacketHeaderBytes +
                                                          kSegmentsPerPacket * kSegmentBytes +
                                                          kSubPayloadLineBytes;
static_assert(kOutputBytesPerInputByte == 39'839);
inline constexpr std::uint64_t kFixedOutputBytes = 1 << 20;

inline constexpr std::uint64_t output_bound(std::uint64_t input_bytes) {
    return kOutputBytesPerInputByte * input_bytes + kFixedOutputBytes;
}

}  // namespace asfinspect::fuzz
