#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

// Little-endian field decoding from byte spans. Every multi-byte field of the
// file goes through these; the caller guarantees offset + width <= size.
namespace asfinspect::io {

using Bytes = std::span<const std::uint8_t>;

inline std::uint8_t u8(Bytes b, std::size_t at) {
    return b[at];
}

// On a little-endian machine a field is one load; elsewhere it is put
// together byte by byte.
template <typename T>
inline T le(Bytes b, std::size_t at) {
    if constexpr (std::endian::native == std::endian::little) {
        T v;
        std::memcpy(&v, b.subspan(at, sizeof(T)).data(), sizeof(T));
        return v;
    } else {
        T v = 0;
        for (std::size_t i = sizeof(T); i-- > 0;)
            v = static_cast<T>(v << 8 | b[at + i]);
        return v;
    }
}

inline std::uint16_t le16(Bytes b, std::size_t at) {
    return le<std::uint16_t>(b, at);
}

inline std::uint32_t le32(Bytes b, std::size_t at) {
    return le<std::uint32_t>(b, at);
}

inline std::uint64_t le64(Bytes b, std::size_t at) {
    return le<std::uint64_t>(b, at);
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
