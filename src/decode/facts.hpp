#pragma once

#include <array>
#include <bitset>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "asf/guid.hpp"
#include "asf/guid_registry.hpp"
#include "asf/payload_extensions.hpp"
#include "asf/sentinels.hpp"
#include "decode/selection.hpp"

namespace asfinspect::decode {

// More payload extension systems than replicated data can carry (255 bytes)
// are not kept.
inline constexpr std::size_t kMaxPayloadExtensions = 64;
using asf::sentinels::kVariableExtensionSize;

// What the facts keep of the header for a summary of the file is bounded,
// whatever the counts in the file say: text is kept to its first bytes, lists
// to their first records, and the rest counted.
inline constexpr std::size_t kKeptTextBytes = 256;
inline constexpr std::size_t kMaxKeptTags = 256;
inline constexpr std::size_t kMaxKeptPictures = 16;
inline constexpr std::size_t kMaxKeptCodecEntries = 128;
inline constexpr std::size_t kMaxKeptLanguages = 128;
inline constexpr std::size_t kMaxKeptIndexes = 16;
inline constexpr std::size_t kMaxKeptLeakyBucketPairs = 32;
inline constexpr std::size_t kMaxKeptIndexStreams = 32;

// UTF-8 text cut to its first kKeptTextBytes bytes, at a character's start.
struct KeptText {
    std::string text;
    bool cut = false;  // the text was longer

    void keep(std::string_view utf8);
};

// The first N records of a list; the others are counted.
template <typename T, std::size_t N>
struct KeptList {
    std::vector<T> kept;
    std::uint64_t more = 0;

    // The next record to fill, or nullptr when N are kept (it is counted).
    T* add() {
        if (kept.size() == N) {
            ++more;
            return nullptr;
        }
        return &kept.emplace_back();
    }
    void clear() {
        kept.clear();
        more = 0;
    }
};

struct FilePropertiesFacts {
    bool present = false;
    std::int64_t offset = 0;
    asf::Guid file_id;
    std::uint64_t file_size = 0;
    std::uint64_t data_packets_count = 0;
    std::uint64_t play_duration = 0;  // 100 ns, preroll included
    std::uint64_t send_duration = 0;
    std::uint64_t preroll = 0;  // ms
    std::uint32_t flags = 0;
    std::uint32_t minimum_packet_size = 0;
    std::uint32_t maximum_packet_size = 0;
    std::uint64_t creation_date = 0;  // FILETIME
    std::uint32_t maximum_bitrate = 0;

    static constexpr std::uint32_t kBroadcast = 0x1;
    static constexpr std::uint32_t kSeekable = 0x2;
    bool broadcast() const { return (flags & kBroadcast) != 0; }
    bool seekable() const { return (flags & kSeekable) != 0; }
    // The size every packet takes: the minimum, which ASF sets equal to the
    // maximum; when they differ, the maximum.
    std::uint32_t packet_size() const {
        return minimum_packet_size == maximum_packet_size || maximum_packet_size == 0
                   ? minimum_packet_size
                   : maximum_packet_size;
    }
};

struct PayloadExtensionFacts {
    asf::Guid system;
    std::uint16_t size = 0;  // kVariableExtensionSize: a 16-bit length precedes each item
    // Found once, where the system is declared, not for every payload;
    // nullptr: bytes.
    const asf::ExtensionKind* kind = nullptr;
};

// By the Stream Type; `other` for a GUID that is none of ASF's.
enum class StreamKind : std::uint8_t {
    other,
    audio,
    video,
    command,
    jfif,
    degradable_jpeg,
    file_transfer,
    binary,
};

// What a stream's type-specific data says of its format.
struct StreamFormat {
    std::uint16_t format_tag = 0;  // audio
    std::uint16_t channels = 0;
    std::uint32_t sample_rate = 0;
    std::uint32_t average_bytes_per_second = 0;
    std::uint16_t bits_per_sample = 0;
    bool bitmap = false;       // video: a BITMAPINFOHEADER gives the FourCC
    std::uint32_t fourcc = 0;  // video: its Compression ID
    std::uint32_t width = 0;   // video and JPEG
    std::uint32_t height = 0;
};

// What an Extended Stream Properties Object says of its stream.
struct ExtendedStreamFacts {
    // The leaky bucket the stream is sent by: Data Bitrate (bit/s), Buffer
    // Size and Initial Buffer Fullness (ms); and its alternate.
    std::uint32_t data_bitrate = 0;
    std::uint32_t initial_fullness = 0;
    std::uint32_t alternate_bitrate = 0;
    std::uint32_t alternate_buffer_size = 0;
    std::uint32_t alternate_initial_fullness = 0;
    std::uint16_t language_index = 0;
    std::uint64_t average_time_per_frame = 0;  // 100 ns; 0 when not given
    bool named = false;
    KeptText name;  // its first Stream Name
};

struct StreamFacts {
    bool declared = false;  // by a Stream Properties Object read so far
    std::int64_t offset = 0;
    StreamKind kind = StreamKind::other;
    bool extended = false;  // an Extended Stream Properties Object names it
    // A payload decoded so far sets the key-frame bit (audio streams may set
    // it on none).
    bool key_frames = false;
    std::uint32_t buffer_size = 0;  // ms, from the Extended Stream Properties
    std::vector<PayloadExtensionFacts> extensions;
    bool encrypted = false;  // the Stream Properties' Encrypted Content flag
    StreamFormat format;
    ExtendedStreamFacts extended_properties;  // when `extended`
    bool bitrate_declared = false;            // by a Stream Bitrate Properties record
    std::uint32_t bitrate = 0;                // its Average Bitrate
};

// A Codec List entry.
struct CodecEntryFacts {
    static constexpr std::uint16_t kVideo = 1;
    static constexpr std::uint16_t kAudio = 2;
    std::uint16_t type = 0;  // kVideo, kAudio, or 0xFFFF: unknown
    // What its Codec Information names: an audio codec's format tag, a
    // video codec's FourCC.
    bool has_codec_id = false;
    std::uint32_t codec_id = 0;
    KeptText name;
    KeptText description;
};

// A name and value of the Content Description, Extended Content
// Description, Metadata or Metadata Library Objects.
struct TagFacts {
    enum class Source : std::uint8_t {
        content_description,
        extended_content_description,
        metadata,
        metadata_library,
    };
    // What the value is, by its Data Type.
    enum class Kind : std::uint8_t {
        text,        // `text`
        number,      // `number`: a WORD, DWORD or QWORD
        boolean,     // `number`
        guid,        // `guid`
        bytes,       // `number` bytes
        date,        // `number`: a FILETIME
        unreadable,  // cut short, or of an unknown Data Type
    };
    Source source = Source::content_description;
    Kind kind = Kind::unreadable;
    std::uint16_t stream = 0;  // 0: the whole file
    std::uint16_t language_index = 0;
    KeptText name;
    KeptText text;
    std::uint64_t number = 0;
    asf::Guid guid;
};

// A WM/Picture value.
struct PictureFacts {
    std::uint8_t type = 0;  // ID3v2's picture types
    KeptText mime_type;
    KeptText description;
    std::uint64_t size = 0;  // bytes of picture data
};

// A pair of ASFLeakyBucketPairs: a bitrate (bit/s) and the buffer window
// (ms) it needs.
struct LeakyBucketPairFacts {
    std::uint32_t bitrate = 0;
    std::uint32_t window = 0;
};

// An index specifier: a stream, and its Index Type.
struct IndexSpecifierFacts {
    std::uint16_t stream = 0;
    std::uint16_t type = 0;
};
// The specifiers kept of an index object or its parameters.
inline constexpr std::size_t kMaxKeptSpecifiers = 16;

// An Index Parameters Object: what an Index Object must hold.
struct IndexParametersFacts {
    bool present = false;
    std::uint32_t interval = 0;                   // ms
    std::vector<IndexSpecifierFacts> specifiers;  // the first kMaxKeptSpecifiers
};

// An index object, as far as it was read.
struct IndexFacts {
    asf::ObjectType type = asf::ObjectType::simple_index;
    // The streams its specifiers name (a Simple Index's video stream), each
    // once, in order; the first kMaxKeptIndexStreams.
    std::vector<std::uint16_t> streams;
    std::uint32_t specifiers = 0;
    std::uint64_t entries = 0;
    // Time between entries in 100 ns (Simple Index, Index); 0 when the index
    // is not by time.
    std::uint64_t interval = 0;
    std::vector<IndexSpecifierFacts> kinds;  // the first kMaxKeptSpecifiers
};

// What a content encryption object names: the protection system, the key
// the content is encrypted with, and where a player gets its licence.
struct EncryptionFacts {
    KeptText protection_type;  // the Content Encryption Object's; empty in the extended one
    KeptText key_id;
    KeptText license_url;
};

// The objects that say a file's content is protected.
struct ProtectionFacts {
    bool content_encryption = false;
    bool extended_content_encryption = false;
    bool advanced_content_encryption = false;
    bool digital_signature = false;
    bool content_protection = false;
    EncryptionFacts content;   // of the Content Encryption Object
    EncryptionFacts extended;  // found in the Extended Content Encryption Object's XML

    bool any() const {
        return content_encryption || extended_content_encryption || advanced_content_encryption ||
               digital_signature || content_protection;
    }
};

// The kinds of record that name a stream.
enum class StreamReference : std::uint8_t {
    bitrate_record,
    extended_stream_properties,
    metadata_record,
    metadata_library_record,
    exclusion,
    prioritization,
    bandwidth_sharing,
    index_specifier,
};

// What the whole Header Object declares, learnt before its objects are
// decoded: ASF allows them in any order, and a record that names a stream or
// a language is checked where it stands.
struct HeaderPlan {
    bool known = false;
    std::bitset<kStreamNumbers> streams;  // declared by a Stream Properties Object
    bool language_list = false;
    std::uint32_t languages = 0;
};

struct DataFacts {
    bool present = false;
    std::int64_t offset = 0;
    std::int64_t size = 0;
    asf::Guid file_id;
    std::uint64_t total_data_packets = 0;
    std::int64_t first_packet = 0;
    std::uint32_t packet_size = 0;
    std::uint64_t packets = 0;  // packets the data holds, the last one possibly cut short
    std::int64_t end = 0;       // where the packets end
    std::uint64_t decoded = 0;  // packets decoded
};

// What the decoder has learnt of the file so far, for the objects and
// packets after it.
struct Facts {
    FilePropertiesFacts file_properties;
    std::array<StreamFacts, kStreamNumbers> streams{};
    std::uint32_t stream_properties_objects = 0;
    bool header_seen = false;
    bool header_extension_seen = false;
    HeaderPlan plan;
    DataFacts data;
    // Simple Index Objects met so far: each belongs to the next video stream
    // by stream number.
    std::uint32_t simple_index_objects = 0;
    // An Index Parameters Object was met: an Index Object needs one.
    bool index_parameters_seen = false;
    IndexParametersFacts index_parameters;
    std::uint32_t marker_objects = 0;
    std::uint32_t padding_objects_in_header = 0;  // its direct children
    std::uint32_t languages = 0;
    bool language_list_seen = false;
    // A finding about the file's extent (cut short, bytes after the last
    // object) was given; it tells of File Size too.
    bool extent_reported = false;
    // The top-level objects follow one another up to the end of the file.
    bool objects_tile_file = false;

    // What a summary of the file shows, kept as the objects are read.
    std::vector<std::uint8_t> stream_order;  // stream numbers, as declared
    KeptList<CodecEntryFacts, kMaxKeptCodecEntries> codec_entries;
    KeptList<KeptText, kMaxKeptLanguages> language_ids;  // of the Language List
    KeptList<TagFacts, kMaxKeptTags> tags;
    KeptList<PictureFacts, kMaxKeptPictures> pictures;
    KeptList<IndexFacts, kMaxKeptIndexes> indexes;
    KeptList<LeakyBucketPairFacts, kMaxKeptLeakyBucketPairs> leaky_bucket_pairs;
    ProtectionFacts protection;
    // XMP Objects: how many, and the bytes of their packets.
    std::uint32_t xmp_objects = 0;
    std::uint64_t xmp_bytes = 0;
};

}  // namespace asfinspect::decode
