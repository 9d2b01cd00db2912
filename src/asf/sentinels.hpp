#pragma once

#include <cstdint>
#include <string_view>

#include "asf/names.hpp"

// Values that ASF, or encoders in its place, write into a field for "no
// value": a table for each kind of field that has them. Views show the raw
// value too; the name says what it stands for.
namespace asfinspect::asf::sentinels {

// A FILETIME of 0 (Creation Date).
inline constexpr EnumName kUnknownDate[] = {{0, "unknown"}};
// Extended Stream Properties Start Time and End Time: 0 asks players to
// ignore the field.
inline constexpr EnumName kTimeNotSet[] = {{0, "not set"}};
// Extended Stream Properties Maximum Object Size.
inline constexpr EnumName kUnknownSize[] = {{0, "unknown"}};
// Values past a limit that no real value reaches, and what they mean.
struct Beyond {
    std::uint64_t limit;
    std::string_view name;
};

// Extended Stream Properties Average Time Per Frame: 0 by ASF's rule;
// encoders write 2^64 / 10 into audio streams, which have no frames, and
// other values no frame rate gives (2^64 / 5, 2^64 - 15,790,000): a frame
// longer than a day means nothing.
inline constexpr EnumName kAverageTimePerFrame[] = {
    {0, "unknown"},
    {0x1999999999999999, "not set"},
};
inline constexpr Beyond kAverageTimePerFrameBeyond = {864'000'000'000,  // a day in 100 ns
                                                      "meaningless: over a day"};
// A payload extension system's Extension Data Size: its data then starts
// with a WORD of its own length.
inline constexpr std::uint16_t kVariableExtensionSize = 0xFFFF;
inline constexpr EnumName kExtensionDataSize[] = {{kVariableExtensionSize, "variable"}};
// An Offset of an Index, Media Object Index or Timecode Index entry with no
// packet for its stream.
inline constexpr std::uint32_t kNoIndexEntry = 0xFFFFFFFF;
inline constexpr EnumName kIndexOffset[] = {{kNoIndexEntry, "no entry"}};
// The DVR-MS timing extension's times: all ones when the payload has none.
inline constexpr EnumName kNoTime[] = {{~std::uint64_t{0}, "none"}};

}  // namespace asfinspect::asf::sentinels
