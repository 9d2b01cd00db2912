#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "io/output.hpp"

namespace asfinspect::asf {

// 16 bytes exactly as stored in the file: a little-endian 32-bit group, two
// little-endian 16-bit groups, then eight single bytes. Compared bytewise.
struct Guid {
    std::array<std::uint8_t, 16> bytes{};
    friend bool operator==(const Guid&, const Guid&) = default;
};

// Builds the stored form of a GUID written in registry form
// {d1-d2-d3-d4[0..1]-d4[2..7]}.
constexpr Guid make_guid(std::uint32_t d1, std::uint16_t d2, std::uint16_t d3,
                         std::array<std::uint8_t, 8> d4) {
    Guid g;
    for (int i = 0; i < 4; ++i)
        g.bytes[i] = static_cast<std::uint8_t>(d1 >> (8 * i));
    for (int i = 0; i < 2; ++i)
        g.bytes[4 + i] = static_cast<std::uint8_t>(d2 >> (8 * i));
    for (int i = 0; i < 2; ++i)
        g.bytes[6 + i] = static_cast<std::uint8_t>(d3 >> (8 * i));
    for (int i = 0; i < 8; ++i)
        g.bytes[8 + i] = d4[i];
    return g;
}

// The objects the walker recognises; 0 for any other GUID.
enum class ObjectKind : int {
    none = 0,
    header = 1,
    data = 2,
    simple_index = 3,
    stream_properties = 4,
    header_v2 = 5,
    file_properties = 6,
};

// One row per recognised object: its GUID, its kind and the name the object
// listing prints for it.
struct ObjectGuidEntry {
    Guid guid;
    ObjectKind kind;
    std::string_view name;
};

// Searched in this order by lookup_guid; row n, counted from 1, is kind n.
inline constexpr std::array<ObjectGuidEntry, 6> kObjectGuids{{
    {make_guid(0x75B22630, 0x668E, 0x11CF, {0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C}),
     ObjectKind::header, "header"},
    {make_guid(0x75B22636, 0x668E, 0x11CF, {0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C}),
     ObjectKind::data, "data chunk"},
    {make_guid(0x33000890, 0xE5B1, 0x11CF, {0x89, 0xF4, 0x00, 0xA0, 0xC9, 0x03, 0x49, 0xCB}),
     ObjectKind::simple_index, "index"},
    {make_guid(0xB7DC0791, 0xA9B7, 0x11CF, {0x8E, 0xE6, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65}),
     ObjectKind::stream_properties, "stream header"},
    {make_guid(0xD6E229D1, 0x35DA, 0x11D1, {0x90, 0x34, 0x00, 0xA0, 0xC9, 0x03, 0x49, 0xBE}),
     ObjectKind::header_v2, "ASF 2.0 header"},
    {make_guid(0x8CABDCA1, 0xA947, 0x11CF, {0x8E, 0xE4, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65}),
     ObjectKind::file_properties, "file header"},
}};

constexpr bool rows_in_kind_order() {
    for (std::size_t i = 0; i < kObjectGuids.size(); ++i) {
        if (static_cast<std::size_t>(kObjectGuids[i].kind) != i + 1)
            return false;
    }
    return true;
}
static_assert(rows_in_kind_order(), "object_name finds a kind's row by its number");

// The printed name of a recognised kind; empty for none.
constexpr std::string_view object_name(ObjectKind kind) {
    const auto row = static_cast<std::size_t>(kind);
    return row == 0 || row > kObjectGuids.size() ? std::string_view{} : kObjectGuids[row - 1].name;
}

// Stream types and error correction types of the stream-properties object.
inline constexpr Guid kAudioMedia =
    make_guid(0xF8699E40, 0x5B4D, 0x11CF, {0xA8, 0xFD, 0x00, 0x80, 0x5F, 0x5C, 0x44, 0x2B});
inline constexpr Guid kVideoMedia =
    make_guid(0xBC19EFC0, 0x5B4D, 0x11CF, {0xA8, 0xFD, 0x00, 0x80, 0x5F, 0x5C, 0x44, 0x2B});
// "No error correction", as muxers write it for streams without error correction.
inline constexpr Guid kNoErrorCorrection =
    make_guid(0x20FB5700, 0x5B55, 0x11CF, {0xA8, 0xFD, 0x00, 0x80, 0x5F, 0x5C, 0x44, 0x2B});
// The signature audio error-masking strategy; reported like "no error
// correction", as it carries no concealment parameters either.
inline constexpr Guid kSignatureErrorMasking =
    make_guid(0x49F1A440, 0x4ECE, 0x11D0, {0xA3, 0xAC, 0x00, 0xA0, 0xC9, 0x03, 0x48, 0xF6});
inline constexpr Guid kAudioSpread =
    make_guid(0xBFC3CD50, 0x618F, 0x11CF, {0x8B, 0xB2, 0x00, 0xAA, 0x00, 0xB4, 0xE2, 0x20});

ObjectKind lookup_guid(const Guid& guid);

// Writes the GUID as its three little-endian groups and its eight single bytes,
// in the Output's current base, without leading zeros.
io::Output& print_guid(io::Output& out, const Guid& guid);

}  // namespace asfinspect::asf
