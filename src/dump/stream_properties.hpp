#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "dump/scan_state.hpp"
#include "io/output.hpp"

namespace asfinspect::dump {

// Offsets within the stream-properties payload (after the object header).
namespace stream_layout {
inline constexpr std::size_t kStreamType = 0;              // GUID
inline constexpr std::size_t kErrorCorrectionType = 16;    // GUID
inline constexpr std::size_t kTimeOffset = 32;             // 64-bit
inline constexpr std::size_t kTypeSpecificLength = 40;     // signed 32-bit
inline constexpr std::size_t kErrorCorrectionLength = 44;  // signed 32-bit
inline constexpr std::size_t kFlags = 48;                  // 16-bit; stream number in bits 0-6
inline constexpr std::size_t kReserved = 50;               // signed 32-bit
// Audio: a WAVEFORMATEX at 54.
inline constexpr std::size_t kFormatTag = 54;   // signed 16-bit
inline constexpr std::size_t kCbSize = 70;      // signed 16-bit
inline constexpr std::size_t kSpreadBase = 72;  // + cbSize: error correction data
// Video: width, height, flags, format data size, then a BITMAPINFOHEADER at 65.
inline constexpr std::size_t kFormatDataSize = 63;  // signed 16-bit
inline constexpr std::size_t kCompression = 81;     // four-character code
inline constexpr std::size_t kFourccLength = 4;
}  // namespace stream_layout

// Audio spread error correction data, from its start.
namespace spread_layout {
inline constexpr std::int64_t kSpan = 0;                 // 8-bit
inline constexpr std::int64_t kVirtualPacketLength = 1;  // 16-bit
inline constexpr std::int64_t kVirtualChunkLength = 3;   // 16-bit
inline constexpr std::int64_t kSilenceDataLength = 5;    // 16-bit
inline constexpr std::int64_t kSilenceData = 7;          // first byte
}  // namespace spread_layout

enum class Concealment { none, audio_spread, unknown };

struct SpreadParameters {
    std::uint8_t span = 0;
    std::uint16_t virtual_packet_length = 0;
    std::uint16_t virtual_chunk_length = 0;
    std::uint16_t silence_data_length = 0;
    std::uint8_t first_silence_byte = 0;
};

enum class StreamType { audio, video, unknown };

struct StreamFields {
    std::uint16_t flags = 0;
    std::int32_t type_specific_length = 0;
    std::int32_t error_correction_length = 0;
    std::int64_t time_offset = 0;
    std::int32_t reserved = 0;
    StreamType type = StreamType::unknown;
    // audio
    std::int16_t format_tag = 0;
    Concealment concealment = Concealment::unknown;
    SpreadParameters spread;
    // video
    std::int16_t format_data_size = 0;
    std::string fourcc;
};

StreamFields decode_stream(const StreamSlot& slot);

// Prints the "Dumping stream header: " block. Leaves the Output in decimal.
void report_stream(io::Output& out, const StreamSlot& slot);

}  // namespace asfinspect::dump
