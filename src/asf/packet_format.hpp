#pragma once

#include <cstdint>

// The layout of a data packet's header and of its payloads' headers. Most of
// their fields are stored in 0, 1, 2 or 4 bytes, as a 2-bit length type says.
namespace asfinspect::asf::packet_format {

// Error Correction Flags, present when the first byte has bit 7 set.
inline constexpr std::uint8_t kErrorCorrectionPresent = 0x80;
inline constexpr std::uint8_t kErrorCorrectionLengthTypeMask = 0x60;
inline constexpr std::uint8_t kOpaqueDataPresent = 0x10;
inline constexpr std::uint8_t kErrorCorrectionDataLengthMask = 0x0F;
// The error correction data length when the length type isn't 0.
inline constexpr std::uint8_t kAssumedErrorCorrectionDataLength = 2;

// The 2-bit length types: a field is absent (0), a byte, a word or a double word.
inline constexpr unsigned kByteLengthType = 1;  // the only stream number length type
inline constexpr unsigned kWordLengthType = 2;
inline constexpr unsigned kDwordLengthType = 3;

// Length Type Flags.
inline constexpr std::uint8_t kMultiplePayloadsPresent = 0x01;
inline constexpr int kSequenceTypeShift = 1;
inline constexpr int kPaddingLengthTypeShift = 3;
inline constexpr int kPacketLengthTypeShift = 5;

// Property Flags.
inline constexpr int kReplicatedDataLengthTypeShift = 0;
inline constexpr int kOffsetIntoMediaObjectLengthTypeShift = 2;
inline constexpr int kMediaObjectNumberLengthTypeShift = 4;
inline constexpr int kStreamNumberLengthTypeShift = 6;

// Payload Flags, present with multiple payloads.
inline constexpr std::uint8_t kNumberOfPayloadsMask = 0x3F;
inline constexpr int kPayloadLengthTypeShift = 6;

// The payload's Stream Number byte.
inline constexpr std::uint8_t kKeyFrame = 0x80;
inline constexpr std::uint8_t kStreamNumberMask = 0x7F;

// Replicated Data Length values: 1 marks a compressed payload (its Offset
// Into Media Object is then a presentation time, its one replicated byte a
// time delta); 8 or more hold the Media Object Size and Presentation Time,
// then payload extension data.
inline constexpr std::uint32_t kCompressedPayload = 1;
inline constexpr std::uint32_t kMediaObjectReplicatedData = 8;

// Send Time (4) and Duration (2) end every packet header.
inline constexpr int kSendTimeWidth = 4;
inline constexpr int kDurationWidth = 2;

// Bytes a field of a 2-bit length type takes: 0, 1, 2 or 4.
constexpr int field_width(unsigned length_type) {
    return length_type == kDwordLengthType ? 4 : static_cast<int>(length_type & 3);
}

constexpr unsigned length_type(std::uint8_t flags, int shift) {
    return (flags >> shift) & 3u;
}

}  // namespace asfinspect::asf::packet_format
