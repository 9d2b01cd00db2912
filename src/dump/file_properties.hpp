#pragma once

#include <cstddef>
#include <cstdint>

#include "dump/scan_state.hpp"
#include "io/output.hpp"

namespace asfinspect::dump {

// Offsets of the fields of the file-properties payload (after the object header).
namespace file_properties_layout {
inline constexpr std::size_t kFileSize = 16;       // 64-bit, bytes
inline constexpr std::size_t kCreationDate = 24;   // 64-bit, 100 ns since 1601-01-01
inline constexpr std::size_t kDataPackets = 32;    // 64-bit count
inline constexpr std::size_t kPlayDuration = 40;   // 64-bit, 100 ns
inline constexpr std::size_t kSendDuration = 48;   // 64-bit, 100 ns
inline constexpr std::size_t kPrerollLow = 56;     // low half of the 64-bit preroll, ms
inline constexpr std::size_t kPrerollHigh = 60;    // high half
inline constexpr std::size_t kFlags = 64;          // 32-bit
inline constexpr std::size_t kMinPacketSize = 68;  // 32-bit
inline constexpr std::size_t kMaxPacketSize = 72;  // 32-bit
inline constexpr std::size_t kMaxBitrate = 76;     // 32-bit
}  // namespace file_properties_layout

struct FilePropertiesFields {
    std::int64_t file_size = 0;
    std::int64_t creation_date = 0;
    std::int64_t data_packets = 0;
    std::int64_t play_duration = 0;
    std::int64_t send_duration = 0;
    std::int32_t preroll_low = 0;
    std::int32_t preroll_high = 0;
    std::uint32_t flags = 0;
    std::uint32_t min_packet_size = 0;
    std::uint32_t max_packet_size = 0;
    std::uint32_t max_bitrate = 0;
};

FilePropertiesFields decode_file_properties(const FileProperties& raw);

// Prints the "Dumping file header: " block; integers go out in the current base.
void report_file_properties(io::Output& out, const FileProperties& raw);

}  // namespace asfinspect::dump
