#include "asf/codecs.hpp"

#include "asf/names.hpp"

namespace asfinspect::asf {

namespace {

constexpr EnumName kAudioCodecs[] = {
    {0x0001, "PCM"},
    {0x0002, "Microsoft ADPCM"},
    {0x0003, "IEEE float PCM"},
    {0x0006, "A-law"},
    {0x0007, "mu-law"},
    {0x000A, "WMA Voice"},
    {0x0011, "IMA ADPCM"},
    {0x0020, "Yamaha ADPCM"},
    {0x0022, "TrueSpeech"},
    {0x0031, "GSM 6.10"},
    {0x0040, "G.721 ADPCM"},
    {0x0042, "G.723.1"},
    {0x0045, "G.726 ADPCM"},
    {0x0050, "MPEG audio (MP2)"},
    {0x0055, "MP3"},
    {0x0064, "G.726 ADPCM"},
    {0x0075, "Voxware RT29"},
    {0x00FF, "AAC"},
    {0x0130, "ACELP.net"},
    {0x0160, "WMA 1"},
    {0x0161, "WMA 2"},
    {0x0162, "WMA 9 Pro"},
    {0x0163, "WMA Lossless"},
    {0x0164, "WMA 9 Pro (S/PDIF)"},
    {0x1600, "AAC (ADTS)"},
    {0x1610, "HE-AAC"},
    {0x2000, "AC-3"},
    {0x2001, "DTS"},
    {0xFFFE, "WAVEFORMATEXTENSIBLE"},
};

// FourCCs written as their characters in upper case, the order they are
// stored in.
struct VideoCodec {
    std::string_view fourcc;
    std::string_view name;
};

constexpr VideoCodec kVideoCodecs[] = {
    {"WMV1", "WMV 1"},         {"WMV2", "WMV 2"},         {"WMV3", "WMV 3"},
    {"WMVP", "WMV 3 Image"},   {"WVP2", "WMV Image 2"},   {"WMVA", "VC-1"},
    {"WVC1", "VC-1"},          {"MSS1", "WMV Screen 1"},  {"MSS2", "WMV Screen 2"},
    {"MP41", "MS MPEG-4 v1"},  {"MPG4", "MS MPEG-4 v1"},  {"MP42", "MS MPEG-4 v2"},
    {"MP43", "MS MPEG-4 v3"},  {"DIV3", "MS MPEG-4 v3"},  {"MP4S", "MPEG-4 part 2"},
    {"M4S2", "MPEG-4 part 2"}, {"MP4V", "MPEG-4 part 2"}, {"DIVX", "MPEG-4 part 2"},
    {"DX50", "MPEG-4 part 2"}, {"XVID", "MPEG-4 part 2"}, {"FMP4", "MPEG-4 part 2"},
    {"H264", "H.264"},         {"AVC1", "H.264"},         {"X264", "H.264"},
    {"HEVC", "H.265"},         {"HVC1", "H.265"},         {"H263", "H.263"},
    {"MJPG", "Motion JPEG"},   {"MPG1", "MPEG-1 video"},  {"MPG2", "MPEG-2 video"},
    {"I420", "raw YUV 4:2:0"}, {"IYUV", "raw YUV 4:2:0"}, {"YV12", "raw YUV 4:2:0"},
    {"YUY2", "raw YUV 4:2:2"}, {"UYVY", "raw YUV 4:2:2"},
};

// BI_RGB: a Compression ID of 0 says the bitmap is not compressed.
constexpr std::uint32_t kUncompressedRgb = 0;

char upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

}  // namespace

std::string_view audio_codec_name(std::uint16_t format_tag) {
    return name_of(format_tag, kAudioCodecs);
}

std::string_view video_codec_name(std::uint32_t fourcc) {
    if (fourcc == kUncompressedRgb)
        return "uncompressed RGB";
    const char chars[4] = {upper(static_cast<char>(fourcc & 0xFF)),
                           upper(static_cast<char>(fourcc >> 8 & 0xFF)),
                           upper(static_cast<char>(fourcc >> 16 & 0xFF)),
                           upper(static_cast<char>(fourcc >> 24 & 0xFF))};
    const std::string_view key(chars, 4);
    for (const VideoCodec& c : kVideoCodecs) {
        if (c.fourcc == key)
            return c.name;
    }
    return {};
}

}  // namespace asfinspect::asf
