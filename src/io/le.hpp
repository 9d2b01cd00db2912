#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

// Little-endian field decoding from byte spans. Every multi-byte field of the
// file goes through these; the caller guarantees offset + width <= size.
namespace asfinspect::io {

using Bytes = std::span<const std::uint8_t>;

inline std::uint8_t u8(Bytes b, std::size_t at) {
    return b[at];
}

inline std::uint16_t le16(Bytes b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] | b[at + 1] << 8);
}

inline std::uint32_t le32(Bytes b, std::size_t at) {
    return static_cast<std::uint32_t>(b[at]) | static_cast<std::uint32_t>(b[at + 1]) << 8 |
           static_cast<std::uint32_t>(b[at + 2]) << 16 |
           static_cast<std::uint32_t>(b[at + 3]) << 24;
}

inline std::uint64_t le64(Bytes b, std::size_t at) {
    return static_cast<std::uint64_t>(le32(b, at)) | static_cast<std::uint64_t>(le32(b, at + 4))
                                                         << 32;
}

inline std::int16_t le16s(Bytes b, std::size_t at) {
    return static_cast<std::int16_t>(le16(b, at));
}
inline std::int32_t le32s(Bytes b, std::size_t at) {
    return static_cast<std::int32_t>(le32(b, at));
}
inline std::int64_t le64s(Bytes b, std::size_t at) {
    return static_cast<std::int64_t>(le64(b, at));
}

}  // namespace asfinspect::io
