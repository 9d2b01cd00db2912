#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace asfinspect::dump {

// The 80-byte payload of the file-properties object (layout: dump/file_properties.hpp).
inline constexpr std::size_t kFilePropertiesSize = 80;
using FileProperties = std::array<std::uint8_t, kFilePropertiesSize>;

// One stream-properties payload, or its first 1024 bytes (layout: dump/stream_properties.hpp).
inline constexpr std::size_t kStreamSlotSize = 1024;
using StreamSlot = std::array<std::uint8_t, kStreamSlotSize>;

inline constexpr int kMaxCapturedStreams = 2;

// What the object walk captures for the reports and the packet dump.
struct ScanState {
    FileProperties file_properties{};  // of the last file-properties object met
    std::array<StreamSlot, kMaxCapturedStreams> streams{};  // first two stream-properties objects
    std::int32_t stream_count = 0;
    std::int64_t first_packet_offset = -1;  // -1: no data object met
};

}  // namespace asfinspect::dump
