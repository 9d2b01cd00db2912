#pragma once

#include <array>
#include <bitset>
#include <cstdint>
#include <vector>

#include "asf/guid.hpp"
#include "asf/payload_extensions.hpp"
#include "decode/selection.hpp"

namespace asfinspect::decode {

// More payload extension systems than replicated data can carry (255 bytes)
// are not kept.
inline constexpr std::size_t kMaxPayloadExtensions = 64;
inline constexpr std::uint16_t kVariableExtensionSize = 0xFFFF;

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

    static constexpr std::uint32_t kBroadcast = 0x1;
    bool broadcast() const { return (flags & kBroadcast) != 0; }
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

enum class StreamKind : std::uint8_t { other, audio, video };

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
    std::uint32_t marker_objects = 0;
    std::uint32_t padding_objects_in_header = 0;  // its direct children
    std::uint32_t languages = 0;
    bool language_list_seen = false;
    // A finding about the file's extent (cut short, bytes after the last
    // object) was given; it tells of File Size too.
    bool extent_reported = false;
    // The top-level objects follow one another up to the end of the file.
    bool objects_tile_file = false;
};

}  // namespace asfinspect::decode
