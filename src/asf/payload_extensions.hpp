#pragma once

#include <cstdint>
#include <string_view>

#include "asf/guid_registry.hpp"

namespace asfinspect::asf {

// How the data of a payload extension system is read; any other system's is
// shown as bytes.
enum class ExtensionContent : std::uint8_t {
    sample_duration,     // WORD, milliseconds
    pixel_aspect_ratio,  // BYTE x, BYTE y
    content_type,        // BYTE of flags
    dvr_ms_timing,       // 8 bytes, QWORD start time (100 ns), QWORD end time, then more
};

// A payload extension system whose data the decoder knows: the sizes its
// data may have, and how it is read. A declared size it doesn't allow is
// shown as bytes, never read as another kind.
struct ExtensionKind {
    Guid system;
    std::string_view name;
    std::uint64_t least;  // bytes
    std::uint64_t most;
    ExtensionContent content;

    constexpr bool allows(std::uint64_t size) const { return size >= least && size <= most; }
};

inline constexpr std::uint64_t kAnySize = ~std::uint64_t{0};

inline constexpr ExtensionKind kExtensionKinds[] = {
    {guid_named("ASF_Payload_Extension_System_Sample_Duration"), "Sample Duration", 2, 2,
     ExtensionContent::sample_duration},
    {guid_named("ASF_Payload_Extension_System_Pixel_Aspect_Ratio"), "Pixel Aspect Ratio", 2, 2,
     ExtensionContent::pixel_aspect_ratio},
    {guid_named("ASF_Payload_Extension_System_Content_Type"), "Content Type", 1, 1,
     ExtensionContent::content_type},
    {guid_named("DVR_MS_Payload_Extension_System_Timing"), "DVR-MS Timing", 24, kAnySize,
     ExtensionContent::dvr_ms_timing},
};

// The kind of a payload extension system, or nullptr when its data is bytes.
constexpr const ExtensionKind* extension_kind(const Guid& system) {
    for (const ExtensionKind& kind : kExtensionKinds) {
        if (kind.system == system)
            return &kind;
    }
    return nullptr;
}

namespace extension_layout {
inline constexpr std::uint8_t kInterlaced = 0x01;
inline constexpr std::uint8_t kTopFieldFirst = 0x02;
inline constexpr std::uint8_t kRepeatFirstField = 0x08;
inline constexpr int kDvrMsTimingSkipped = 8;
}  // namespace extension_layout

}  // namespace asfinspect::asf
