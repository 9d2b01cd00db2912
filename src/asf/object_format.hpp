#pragma once

#include <cstdint>

// What every ASF object shares: a 24-byte header of its GUID and its size
// (the header included); the Data Object's fields before its packets; and
// where the fields that describe the whole file lie in their objects, for
// the program that writes them.
namespace asfinspect::asf::object_format {

inline constexpr std::int64_t kObjectHeaderSize = 24;
inline constexpr std::size_t kSizeFieldOffset = 16;
// Object header, File ID, Total Data Packets and Reserved.
inline constexpr std::int64_t kDataObjectHeadSize = 50;
inline constexpr std::int64_t kDataFileIdOffset = 24;
inline constexpr std::int64_t kTotalDataPacketsOffset = 40;
inline constexpr std::uint16_t kDataObjectReserved = 0x0101;

// The File Properties Object's fields, from the start of the object.
namespace file_properties {
inline constexpr std::int64_t kFileId = 24;
inline constexpr std::int64_t kFileSize = 40;
inline constexpr std::int64_t kDataPacketsCount = 56;
inline constexpr std::int64_t kPlayDuration = 64;
inline constexpr std::int64_t kSendDuration = 72;
}  // namespace file_properties

// The Simple Index Object: File ID (16), Index Entry Time Interval (8, in
// 100 ns), Maximum Packet Count (4), Index Entries Count (4), then entries of
// a Packet Number (4) and a Packet Count (2).
inline constexpr std::int64_t kSimpleIndexHeadSize = kObjectHeaderSize + 16 + 8 + 4 + 4;
inline constexpr std::int64_t kSimpleIndexEntrySize = 6;

// The Index Object: Index Entry Time Interval (4, ms), Index Specifiers
// Count (2), Index Blocks Count (4), specifiers of a Stream Number and an
// Index Type (2 + 2); each block an Index Entry Count (4), a Block Position
// (8) per specifier, then entries of an Offset (4) per specifier.
inline constexpr std::int64_t kIndexHeadSize = kObjectHeaderSize + 4 + 2 + 4;
inline constexpr std::int64_t kIndexSpecifierSize = 4;
inline constexpr std::int64_t kIndexBlockCountSize = 4;
inline constexpr std::int64_t kIndexBlockPositionSize = 8;
inline constexpr std::int64_t kIndexOffsetSize = 4;
// Index Types: what an entry points at for its stream.
inline constexpr std::uint16_t kNearestPastDataPacket = 1;
inline constexpr std::uint16_t kNearestPastMediaObject = 2;
inline constexpr std::uint16_t kNearestPastCleanpoint = 3;

}  // namespace asfinspect::asf::object_format
