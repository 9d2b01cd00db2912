#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "answers/measures.hpp"
#include "asf/guid.hpp"
#include "asf/guid_registry.hpp"
#include "decode/facts.hpp"
#include "decode/finding.hpp"

// The answers about one file: what its header declares and what its packets
// and media objects measure, each measure computed once (measures.hpp), and
// the check's verdict. The views render it; none derives an ASF rule of its
// own. Times are in 100 ns ticks (player times: the preroll taken off),
// bitrates in bit/s, sizes in bytes; a member in another unit says so.
namespace asfinspect::answers {

using decode::StreamKind;

// Text the file holds, as kept: its first bytes, and whether it was longer.
struct Text {
    std::string text;
    bool cut = false;
};

// A leaky bucket a stream declares: R (bit/s), B and F (ms).
struct LeakyBucket {
    std::uint32_t bitrate = 0;
    std::uint32_t buffer_ms = 0;
    std::uint32_t initial_fullness_ms = 0;
};

// What the media objects of a stream, or of the file, measure.
struct Measured {
    std::uint64_t media_objects = 0;
    std::uint64_t key_frames = 0;
    std::uint64_t bytes = 0;               // present in the file
    std::int64_t first = 0;                // the earliest presentation, as a player shows it
    std::int64_t last = 0;                 // the latest
    std::int64_t end = 0;                  // where the last object ends
    std::int64_t duration = 0;             // end - first
    std::optional<std::uint64_t> bitrate;  // bytes over the duration
    std::optional<std::uint64_t> busiest;  // over the busiest window
    std::optional<std::int64_t> key_frame_interval_max;
    // Video: frames per second, its media objects over its duration.
    std::optional<double> frame_rate;
    // Of the bytes of every stream's media objects.
    std::optional<double> share;
};

struct StreamAnswers {
    std::uint8_t number = 0;
    StreamKind kind = StreamKind::other;
    // The Codec List's name for it, else the name of its format tag or
    // FourCC; `table_codec` is the latter.
    std::string codec;
    std::string_view table_codec;
    std::string codec_description;
    // Audio.
    std::uint16_t format_tag = 0;
    std::uint16_t channels = 0;
    std::uint32_t sample_rate = 0;
    std::uint16_t bits_per_sample = 0;
    // Video: a BITMAPINFOHEADER's FourCC, as characters, '?' for those not
    // printable.
    bool has_fourcc = false;
    std::string fourcc;
    // Video and JPEG.
    bool has_picture_size = false;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::optional<Text> language;
    std::optional<Text> name;
    bool encrypted = false;
    // Declared: its Stream Bitrate Properties record, and its Extended Stream
    // Properties' leaky buckets.
    std::optional<std::uint32_t> bitrate_declared;
    std::optional<LeakyBucket> bucket;
    std::optional<LeakyBucket> alternate_bucket;
    std::optional<std::uint64_t> average_time_per_frame;  // ticks, as declared
    std::optional<double> frame_rate_declared;            // by it, where plausible
    // As its codec description states it.
    std::optional<BitrateMode> bitrate_mode;
    // The bitrate players and plots hold the stream to: its leaky bucket's
    // (`limit_is_bucket`), else its recorded average; none when it declares
    // neither.
    std::optional<std::uint32_t> bitrate_limit;
    bool limit_is_bucket = false;
    // None when its packets were not read.
    std::optional<Measured> measured;
};

struct TagAnswers {
    using Source = decode::TagFacts::Source;
    using Kind = decode::TagFacts::Kind;
    Source source = Source::content_description;
    Kind kind = Kind::unreadable;
    std::uint16_t stream = 0;  // 0: the file's; else a declared stream's
    Text name;
    Text text;
    std::uint64_t number = 0;
    asf::Guid guid;
};

struct PictureAnswers {
    std::uint8_t type = 0;
    std::string_view type_name;  // "" for a type without a name
    Text mime_type;
    Text description;
    std::uint64_t size = 0;
};

struct IndexAnswers {
    asf::ObjectType type = asf::ObjectType::simple_index;
    std::vector<std::uint16_t> streams;  // those its specifiers name, as kept
    std::uint32_t specifiers = 0;
    std::uint64_t entries = 0;
    std::optional<std::uint64_t> interval;  // ticks between entries
    std::optional<std::uint64_t> covers;    // entries x interval
};

struct CodeCount {
    std::string_view code;
    std::uint64_t errors = 0;
    std::uint64_t warnings = 0;
};

struct Verdict {
    std::uint64_t errors = 0;
    std::uint64_t warnings = 0;
    std::vector<CodeCount> codes;  // in the order first met
};

// An object of the file, for its map: the top-level objects and those
// directly in the Header Object.
struct PlacedObject {
    std::int64_t offset = 0;
    std::int64_t size = 0;
    std::string_view name;
    asf::ObjectType type = asf::ObjectType::unknown;
    int depth = 1;
};

struct ListedFinding {
    std::int64_t offset = 0;
    decode::Severity severity = decode::Severity::warning;
    std::string_view code;
    std::string message;
};

struct FileAnswers {
    std::string path;
    std::int64_t size = 0;

    // Declared by the File Properties (none without them).
    bool file_properties = false;
    std::optional<std::uint64_t> duration;  // Play Duration less the preroll
    std::optional<std::uint64_t> preroll_ms;
    std::optional<std::uint32_t> maximum_bitrate;
    std::optional<std::uint64_t> packets_declared;  // Data Packets Count
    bool broadcast = false;
    bool seekable = false;
    std::optional<std::uint64_t> created;  // FILETIME

    // The packets: their size, how many the data holds and how many were
    // read (none: --packets=none).
    std::uint32_t packet_size = 0;  // 0: no packets found
    std::uint64_t packets = 0;
    std::uint64_t packets_decoded = 0;
    bool packets_read = false;

    // None when no packet was read or none held a media object.
    std::optional<Measured> measured;

    decode::ProtectionFacts protection;  // the objects that protect it
    // As its IsVBR tag states it.
    std::optional<BitrateMode> bitrate_mode;
    std::uint32_t xmp_objects = 0;
    std::uint64_t xmp_bytes = 0;
    // The video streams no index names, in which players seek slowly, by
    // reading packets; in audio they seek by the packets' sizes and times.
    std::vector<std::uint8_t> unindexed_video;
    std::vector<StreamAnswers> streams;  // as declared
    std::vector<TagAnswers> tags;        // Content Description first
    std::uint64_t tags_not_kept = 0;
    std::vector<PictureAnswers> pictures;
    std::uint64_t pictures_not_kept = 0;
    std::vector<IndexAnswers> indexes;
    std::uint64_t indexes_not_kept = 0;
    std::vector<decode::LeakyBucketPairFacts> bucket_pairs;  // ASFLeakyBucketPairs
    std::uint64_t bucket_pairs_not_kept = 0;

    std::vector<PlacedObject> objects;
    std::uint64_t objects_not_placed = 0;
    std::int64_t first_packet = 0;  // where the packets start and end
    std::int64_t packets_end = 0;

    Verdict verdict;
    std::vector<ListedFinding> findings;  // the first kMaxListed met, in file order
    std::uint64_t findings_not_listed = 0;

    const StreamAnswers* stream(std::uint8_t number) const {
        for (const StreamAnswers& s : streams) {
            if (s.number == number)
                return &s;
        }
        return nullptr;
    }
};

// The bounds of what a file's answers keep.
inline constexpr std::size_t kMaxPlaced = 512;
inline constexpr std::size_t kMaxListed = 200;

}  // namespace asfinspect::answers
