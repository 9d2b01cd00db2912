#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "answers/model.hpp"

// What the summary's writers share: the members of a stream, one table of
// columns for JSON and CSV, a cell each, absent where a stream has no such
// value; the names of indexes and of protection.
namespace asfinspect::view {

enum Column : std::uint8_t {
    kNumber,
    kType,
    kCodec,
    kCodecDescription,
    kFormatTag,
    kFourcc,
    kChannels,
    kSampleRate,
    kBitsPerSample,
    kWidth,
    kHeight,
    kLanguage,
    kName,
    kEncrypted,
    kBitrateDeclared,
    kDataBitrate,
    kBitrateMeasured,
    kBitratePeak,
    kBytes,
    kMediaObjects,
    kKeyFrames,
    kKeyFrameIntervalMax,
    kFirstTime,
    kLastTime,
    kDurationMeasured,
    kColumns,
};

inline constexpr std::string_view kColumnNames[kColumns] = {
    "number",
    "type",
    "codec",
    "codec_description",
    "format_tag",
    "fourcc",
    "channels",
    "sample_rate",
    "bits_per_sample",
    "width",
    "height",
    "language",
    "name",
    "encrypted",
    "bitrate_declared",
    "data_bitrate",
    "bitrate_measured",
    "bitrate_peak",
    "bytes",
    "media_objects",
    "key_frames",
    "key_frame_interval_max",
    "first_time",
    "last_time",
    "duration_measured",
};

struct Cell {
    enum class Kind : std::uint8_t { absent, number, seconds, text, boolean };
    Kind kind = Kind::absent;
    std::uint64_t number = 0;
    std::int64_t ticks = 0;
    std::string_view text;
};

using Cells = std::array<Cell, kColumns>;

Cells stream_cells(const answers::StreamAnswers& s);

// An index object's name: a key for JSON, and words for people.
struct IndexName {
    asf::ObjectType type;
    std::string_view key;
    std::string_view text;
};
const IndexName& index_name(asf::ObjectType type);

// The objects that protect a file, by their flag among the facts: a key for
// JSON, and words for people.
struct ProtectionName {
    bool decode::ProtectionFacts::*present;
    std::string_view key;
    std::string_view text;
};
inline constexpr ProtectionName kProtectionNames[] = {
    {&decode::ProtectionFacts::content_encryption, "content_encryption", "Content Encryption"},
    {&decode::ProtectionFacts::extended_content_encryption, "extended_content_encryption",
     "Extended Content Encryption"},
    {&decode::ProtectionFacts::advanced_content_encryption, "advanced_content_encryption",
     "Advanced Content Encryption"},
    {&decode::ProtectionFacts::digital_signature, "digital_signature", "Digital Signature"},
    {&decode::ProtectionFacts::content_protection, "content_protection", "Content Protection"},
};

}  // namespace asfinspect::view
