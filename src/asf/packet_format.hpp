#pragma once

#include <cstdint>

#include "asf/names.hpp"

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

// The length types as ASF names them.
inline constexpr EnumName kLengthTypeNames[] = {
    {0, "not present"},
    {kByteLengthType, "BYTE"},
    {kWordLengthType, "WORD"},
    {kDwordLengthType, "DWORD"},
};
// The two bits of a length type, at `shift`.
constexpr std::uint8_t length_type_mask(int shift) {
    return static_cast<std::uint8_t>(3u << shift);
}

// Length Type Flags.
inline constexpr std::uint8_t kMultiplePayloadsPresent = 0x01;
inline constexpr int kSequenceTypeShift = 1;
inline constexpr int kPaddingLengthTypeShift = 3;
inline constexpr int kPacketLengthTypeShift = 5;
// Set by writers that use error correction; readers go by the first byte.
inline constexpr std::uint8_t kLengthTypeErrorCorrectionPresent = 0x80;

// Property Flags.
inline constexpr int kReplicatedDataLengthTypeShift = 0;
inline constexpr int kOffsetIntoMediaObjectLengthTypeShift = 2;
inline constexpr int kMediaObjectNumberLengthTypeShift = 4;
inline constexpr int kStreamNumberLengthTypeShift = 6;

// The Property Flags that most writers use: a byte Replicated Data Length,
// a DWORD Offset Into Media Object, a byte Media Object Number and Stream
// Number.
inline constexpr std::uint8_t kStandardPropertyFlags = 0x5d;

// Payload Flags, present with multiple payloads.
inline constexpr std::uint8_t kNumberOfPayloadsMask = 0x3F;
inline constexpr int kPayloadLengthTypeShift = 6;

// The flags fields in their parts, from the lowest bits.
inline constexpr FlagPart kErrorCorrectionFlagParts[] = {
    {"Error Correction Data Length", kErrorCorrectionDataLengthMask},
    {"Opaque Data Present", kOpaqueDataPresent},
    {"Error Correction Length Type", kErrorCorrectionLengthTypeMask},
    {"Error Correction Present", kErrorCorrectionPresent},
};
inline constexpr FlagPart kLengthTypeFlagParts[] = {
    {"Multiple Payloads Present", kMultiplePayloadsPresent},
    {"Sequence Type", length_type_mask(kSequenceTypeShift), kLengthTypeNames},
    {"Padding Length Type", length_type_mask(kPaddingLengthTypeShift), kLengthTypeNames},
    {"Packet Length Type", length_type_mask(kPacketLengthTypeShift), kLengthTypeNames},
    {"Error Correction Present", kLengthTypeErrorCorrectionPresent},
};
inline constexpr FlagPart kPropertyFlagParts[] = {
    {"Replicated Data Length Type", length_type_mask(kReplicatedDataLengthTypeShift),
     kLengthTypeNames},
    {"Offset Into Media Object Length Type",
     length_type_mask(kOffsetIntoMediaObjectLengthTypeShift), kLengthTypeNames},
    {"Media Object Number Length Type", length_type_mask(kMediaObjectNumberLengthTypeShift),
     kLengthTypeNames},
    {"Stream Number Length Type", length_type_mask(kStreamNumberLengthTypeShift), kLengthTypeNames},
};
inline constexpr FlagPart kPayloadFlagParts[] = {
    {"Number of Payloads", kNumberOfPayloadsMask},
    {"Payload Length Type", length_type_mask(kPayloadLengthTypeShift), kLengthTypeNames},
};

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
