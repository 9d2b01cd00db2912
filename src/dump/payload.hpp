#pragma once

#include <cstdint>

#include "dump/packet.hpp"
#include "io/file_reader.hpp"
#include "io/output.hpp"

namespace asfinspect::dump {

namespace payload_layout {
inline constexpr std::size_t kStreamNumber = 0;  // bit 7: key frame; bits 0-6: stream
inline constexpr std::uint8_t kKeyFrameBit = 0x80;
inline constexpr std::uint8_t kStreamNumberMask = 0x7f;
inline constexpr std::size_t kMediaObjectNumber = 1;
inline constexpr std::size_t kOffsetIntoMediaObject = 2;  // width set by the Property Flags
// Property Flags values whose Offset Into Media Object field the dump knows.
inline constexpr std::uint8_t kByteOffsetFormat = 0x55;   // 1 byte, unsigned
inline constexpr std::uint8_t kWordOffsetFormat = 0x59;   // 2 bytes, signed
inline constexpr std::uint8_t kDwordOffsetFormat = 0x5d;  // 4 bytes, signed
// Replicated Data Length values ("local flags").
inline constexpr std::uint8_t kGroupedPayload = 1;
inline constexpr std::uint8_t kSingleFragment = 8;
// A grouped payload's header is taken as its first 8 bytes whatever the format.
inline constexpr std::int64_t kGroupedHeaderLength = 8;
inline constexpr std::size_t kWindowBytes = 32;  // fetched per payload
inline constexpr std::size_t kDumpedBytes = 20;  // shown per payload
}  // namespace payload_layout

struct PayloadHeader {
    bool key_frame = false;
    std::uint8_t stream_number = 0;
    std::uint8_t media_object_number = 0;
    std::int32_t format_value = 0;   // Offset Into Media Object (grouped: presentation time)
    std::size_t local_flags_at = 0;  // f: offset of the Replicated Data Length
    std::uint8_t local_flags = 0;
};

PayloadHeader decode_payload_header(io::Bytes window, std::uint8_t segment_format);

// Prints payload k of the packet at the cursor and moves the cursor past it.
// Returns true when the packet's payload walk is to end (unknown local flags,
// the end of the file inside a grouped payload, a failed read).
bool dump_segment(io::FileReader& file, io::Output& out, const PacketHeader& header, int k,
                  PayloadCursor& cursor);

}  // namespace asfinspect::dump
