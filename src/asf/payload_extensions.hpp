#pragma once

#include <cstdint>

#include "asf/guid.hpp"

namespace asfinspect::asf {

// Payload extension systems whose data the decoder knows how to read; the
// data of any other is shown as bytes.
enum class ExtensionContent : std::uint8_t {
    bytes,
    sample_duration,     // WORD, milliseconds
    pixel_aspect_ratio,  // BYTE x, BYTE y
    content_type,        // BYTE of flags
    dvr_ms_timing,       // 8 bytes, QWORD start time (100 ns), QWORD end time
};

ExtensionContent extension_content(const Guid& system);

namespace extension_layout {
inline constexpr std::uint8_t kInterlaced = 0x01;
inline constexpr std::uint8_t kTopFieldFirst = 0x02;
inline constexpr std::uint8_t kRepeatFirstField = 0x08;
inline constexpr int kDvrMsTimingSkipped = 8;
inline constexpr int kDvrMsTimingLength = 24;
// A start time of all ones: none.
inline constexpr std::uint64_t kNoTime = ~std::uint64_t{0};
}  // namespace extension_layout

}  // namespace asfinspect::asf
