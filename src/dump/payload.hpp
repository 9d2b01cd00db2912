#pragma once

#include <cstdint>

#include "asf/packet_format.hpp"
#include "dump/packet.hpp"
#include "io/file_reader.hpp"
#include "io/output.hpp"

namespace asfinspect::dump {

namespace payload_layout {
inline constexpr std::size_t kStreamNumber = 0;  // with the key frame bit
inline constexpr std::size_t kMediaObjectNumber = 1;
inline constexpr std::size_t kOffsetIntoMediaObject = 2;  // width set by the Property Flags
// Property Flags of byte-wide Replicated Data Length, Media Object Number and
// Stream Number, with an Offset Into Media Object of `offset_type`.
constexpr std::uint8_t property_flags(unsigned offset_type) {
    namespace pf = asf::packet_format;
    return packet_layout::placed(pf::kByteLengthType, pf::kReplicatedDataLengthTypeShift) |
           packet_layout::placed(offset_type, pf::kOffsetIntoMediaObjectLengthTypeShift) |
           packet_layout::placed(pf::kByteLengthType, pf::kMediaObjectNumberLengthTypeShift) |
           packet_layout::placed(pf::kByteLengthType, pf::kStreamNumberLengthTypeShift);
}
// The Property Flags values whose Offset Into Media Object field the dump knows.
inline constexpr std::uint8_t kByteOffsetFormat =  // 0x55: 1 byte, unsigned
    property_flags(asf::packet_format::kByteLengthType);
inline constexpr std::uint8_t kWordOffsetFormat =  // 0x59: 2 bytes, signed
    property_flags(asf::packet_format::kWordLengthType);
inline constexpr std::uint8_t kDwordOffsetFormat =  // 0x5d: 4 bytes, signed
    property_flags(asf::packet_format::kDwordLengthType);
// The Replicated Data Length ("local flags") values the dump knows: a grouped
// payload and a single fragment.
inline constexpr std::uint8_t kGroupedPayload = asf::packet_format::kCompressedPayload;
inline constexpr std::uint8_t kSingleFragment = asf::packet_format::kMediaObjectReplicatedData;
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
