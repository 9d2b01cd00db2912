#pragma once

#include <cstdint>

// What every ASF object shares: a 24-byte header of its GUID and its size
// (the header included); and the Data Object's fields before its packets.
namespace asfinspect::asf::object_format {

inline constexpr std::int64_t kObjectHeaderSize = 24;
inline constexpr std::size_t kSizeFieldOffset = 16;
// Object header, File ID, Total Data Packets and Reserved.
inline constexpr std::int64_t kDataObjectHeadSize = 50;

}  // namespace asfinspect::asf::object_format
