#pragma once

#include <algorithm>
#include <array>
#include <cstdint>

#include "asf/packet_format.hpp"
#include "io/file_reader.hpp"
#include "io/le.hpp"
#include "io/output.hpp"

namespace asfinspect::dump {

// Data packet header. A first byte of 0x82 (error correction present, two
// bytes of it) marks the standard form, decoded through the Length Type Flags;
// any other first byte is dumped in the fixed-position "other" form.
namespace packet_layout {
// A 2-bit length type in its place in a flags byte.
constexpr std::uint8_t placed(unsigned length_type, int shift) {
    return static_cast<std::uint8_t>(length_type << shift);
}
inline constexpr std::uint8_t kStandardFormMarker = 0x82;
inline constexpr std::size_t kLengthTypeFlags = 3;
inline constexpr std::size_t kPropertyFlags = 4;
inline constexpr std::size_t kFirstOptionalField = 5;
// Length Type Flags bits that select optional fields, in field order; each is
// tested alone, so a double-word length type reads as a word and a byte.
inline constexpr std::uint8_t kExplicitPacketLength =  // 0x40: 16-bit Packet Length
    placed(asf::packet_format::kWordLengthType, asf::packet_format::kPacketLengthTypeShift);
inline constexpr std::uint8_t kPaddingWord =  // 0x10: 16-bit Padding Length
    placed(asf::packet_format::kWordLengthType, asf::packet_format::kPaddingLengthTypeShift);
inline constexpr std::uint8_t kPaddingByte =  // 0x08: 8-bit Padding Length
    placed(asf::packet_format::kByteLengthType, asf::packet_format::kPaddingLengthTypeShift);
// Payload Flags: the payload length type, kept in its place.
inline constexpr std::uint8_t kPayloadLengthTypeMask =  // 0xc0
    placed(3, asf::packet_format::kPayloadLengthTypeShift);
inline constexpr std::uint8_t kByteLengths =  // 0x40: payload lengths are one byte
    placed(asf::packet_format::kByteLengthType, asf::packet_format::kPayloadLengthTypeShift);
inline constexpr std::uint8_t kWordLengths =  // 0x80: payload lengths are two bytes
    placed(asf::packet_format::kWordLengthType, asf::packet_format::kPayloadLengthTypeShift);
// Other form.
inline constexpr std::size_t kOtherSequence = 5;
inline constexpr std::size_t kOtherPadLength = 6;
inline constexpr std::size_t kOtherSegmentCount = 14;  // stored as count - 0x80
inline constexpr std::uint8_t kOtherSegmentCountBias = 0x80;
inline constexpr std::int32_t kOtherHeaderLength = 15;
// The dump shows 16 header bytes; with every optional field present the
// Payload Flags are the 17th.
inline constexpr std::size_t kDumpedHeaderBytes = 16;
inline constexpr std::size_t kLongestHeader = 17;
}  // namespace packet_layout

// What the payload walk needs of a packet's header.
struct PacketHeader {
    std::int64_t offset = 0;  // file offset of the packet
    bool standard_form = false;
    std::uint8_t length_type_flags = 0;
    std::uint8_t segment_format = 0;  // the Property Flags byte
    std::int32_t packet_size = 0;     // the caller's size, or the explicit Packet Length
    // Distance to the next packet: the caller's size read as unsigned 32-bit
    // (the Minimum Data Packet Size); 0 when packets don't advance.
    std::int64_t spacing = 0;
    std::uint16_t padding_length = 0;
    std::uint8_t segment_count = 0;
    std::uint8_t payload_length_type = 0;  // 0x00, 0x40, 0x80 or 0xc0
    std::int32_t header_length = 0;

    bool multiple_payloads() const {
        return (length_type_flags & asf::packet_format::kMultiplePayloadsPresent) != 0;
    }
    // Where the sub-payload walk must stop: the end of the packet, but never
    // inside the next one, so that each byte of the file is walked by one
    // packet at most (an explicit Packet Length of 0xffff with packets one
    // byte apart would otherwise walk the bytes of 65535 other packets).
    std::int64_t end() const {
        return offset + (spacing > 0 ? std::min<std::int64_t>(packet_size, spacing) : packet_size);
    }
};

// The packet header as the dump shows it: the decoded header plus the fields
// that are only printed.
struct PacketHeaderFields {
    PacketHeader header;
    // standard form; the optional fields are printed only when present
    bool has_explicit_length = false;
    bool has_padding_word = false;
    bool has_padding_byte = false;
    std::uint16_t explicit_length = 0;
    std::uint16_t padding_word = 0;
    std::uint8_t padding_byte = 0;
    std::int32_t send_time_ms = 0;
    std::int16_t duration_ms = 0;
    // other form
    std::uint8_t sequence = 0;
    std::int16_t pad_length = 0;
};

// The payload area's arithmetic: signed 32-bit two's complement, wrapping
// instead of overflowing (a 2 GiB packet has an area of 2147483637 bytes).
constexpr std::int32_t wrap_i32(std::int64_t v) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(v));
}

// Walk state of one packet's payloads.
struct PayloadCursor {
    std::int64_t position = 0;   // file offset of the next payload
    std::int32_t remaining = 0;  // payload-area bytes not yet consumed; may go negative

    void consume(std::int64_t n) { remaining = wrap_i32(remaining - n); }
};

// Decodes the first 17 bytes of a packet. packet_size is the Minimum Data
// Packet Size as a signed 32-bit value, as dump_packets passes it; read as
// unsigned it is also the packets' spacing.
using RawPacketHeader = std::array<std::uint8_t, packet_layout::kLongestHeader>;

PacketHeaderFields decode_packet_header(const RawPacketHeader& bytes, std::int64_t offset,
                                        std::int32_t packet_size);

// Prints one packet: title, byte dump, header fields and every payload.
// Leaves the Output in decimal with fill '0'.
void dump_packet(io::FileReader& file, io::Output& out, std::int64_t offset,
                 std::int32_t packet_size);

// Two lowercase hex digits and a space per byte; leaves the Output in decimal
// with fill '0'.
void print_byte_dump(io::Output& out, io::Bytes bytes);

}  // namespace asfinspect::dump
