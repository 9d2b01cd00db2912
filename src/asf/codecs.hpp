#pragma once

#include <cstdint>
#include <string_view>

// Short names of the codecs that ASF streams carry, for a summary of a file
// that has no Codec List Object (or one that doesn't name a stream's codec).
namespace asfinspect::asf {

// By the Format Tag of an audio stream's WAVEFORMATEX: "WMA 2" for 0x0161;
// "" for a tag not in the table.
std::string_view audio_codec_name(std::uint16_t format_tag);

// By the Compression ID of a video stream's BITMAPINFOHEADER, a FourCC stored
// as a little-endian 32-bit value and matched whatever its letters' case:
// "WMV 2" for "WMV2"; "" for one not in the table.
std::string_view video_codec_name(std::uint32_t fourcc);

}  // namespace asfinspect::asf
