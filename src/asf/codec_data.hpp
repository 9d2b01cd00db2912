#pragma once

#include <cstdint>
#include <span>

#include "asf/names.hpp"

// The Codec Specific Data at the end of an audio stream's WAVEFORMATEX, for
// the formats whose layout the public decoders read: its fields in
// order, for the one size that layout has. Data of another size is kept as
// bytes: a field is never read out of data that doesn't have its layout.
namespace asfinspect::asf::codec_data {

inline constexpr std::uint16_t kWma1 = 0x0160;
inline constexpr std::uint16_t kWma2 = 0x0161;
inline constexpr std::uint16_t kWmaPro = 0x0162;
inline constexpr std::uint16_t kWmaLossless = 0x0163;

// How a field is shown.
enum class Show : std::uint8_t {
    number,
    parts,  // flag_parts
    flags,  // named bits
    bytes,  // not read by the decoders
};

struct Field {
    Key name;
    int width;  // bytes
    Show show = Show::number;
    FlagParts parts = {};
    FlagNames names = {};
};

struct Layout {
    std::uint16_t format_tag;
    std::uint16_t size;  // of the whole Codec Specific Data
    std::span<const Field> fields;
};

// WMA 1 and 2: the coding tools the encoder used.
inline constexpr FlagPart kEncodeOptionParts[] = {
    {"Exponent VLC", 0x1},
    {"Bit Reservoir", 0x2},
    {"Variable Block Length", 0x4},
};

// The speaker positions of a channel mask, as WAVEFORMATEXTENSIBLE has them.
inline constexpr FlagName kSpeakers[] = {
    {0x1, "Front Left"},
    {0x2, "Front Right"},
    {0x4, "Front Center"},
    {0x8, "Low Frequency"},
    {0x10, "Back Left"},
    {0x20, "Back Right"},
    {0x40, "Front Left of Center"},
    {0x80, "Front Right of Center"},
    {0x100, "Back Center"},
    {0x200, "Side Left"},
    {0x400, "Side Right"},
    {0x800, "Top Center"},
    {0x1000, "Top Front Left"},
    {0x2000, "Top Front Center"},
    {0x4000, "Top Front Right"},
    {0x8000, "Top Back Left"},
    {0x10000, "Top Back Center"},
    {0x20000, "Top Back Right"},
};

inline constexpr Field kWma1Fields[] = {
    {"Samples Per Block", 2},
    {"Encode Options", 2, Show::parts, kEncodeOptionParts},
};
inline constexpr Field kWma2Fields[] = {
    {"Samples Per Block", 4},
    {"Encode Options", 2, Show::parts, kEncodeOptionParts},
    {"Super Block Align", 4},
};
// WMA 9 Pro and Lossless.
inline constexpr Field kWmaProFields[] = {
    {"Valid Bits Per Sample", 2},   {"Channel Mask", 4, Show::flags, {}, kSpeakers},
    {"Reserved", 8, Show::bytes},   {"Decode Flags", 2},
    {"Reserved 2", 2, Show::bytes},
};

inline constexpr Layout kLayouts[] = {
    {kWma1, 4, kWma1Fields},
    {kWma2, 10, kWma2Fields},
    {kWmaPro, 18, kWmaProFields},
    {kWmaLossless, 18, kWmaProFields},
};

// The layout of `size` bytes of codec data of this format, or nullptr.
constexpr const Layout* layout_of(std::uint16_t format_tag, std::uint64_t size) {
    for (const Layout& layout : kLayouts) {
        if (layout.format_tag == format_tag && layout.size == size)
            return &layout;
    }
    return nullptr;
}

}  // namespace asfinspect::asf::codec_data
