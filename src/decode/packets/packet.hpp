#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "asf/packet_format.hpp"
#include "decode/finding.hpp"

namespace asfinspect::decode {

// A data packet as ASF's rules read it, each field once, into plain values:
// the views show it, the checks, the media objects and the key-frame probe
// take it from here.

struct PacketHeader {
    std::uint8_t error_correction_flags = 0;  // 0 without error correction
    std::uint8_t error_correction_length = 0;
    std::uint8_t length_type_flags = 0;
    std::uint8_t property_flags = 0;
    bool has_packet_length = false;
    bool has_sequence = false;
    bool has_padding_length = false;
    std::uint64_t packet_length = 0;
    std::uint64_t sequence = 0;
    std::uint64_t padding_length = 0;
    std::uint64_t send_time = 0;  // ms
    std::uint64_t duration = 0;   // ms
    std::uint64_t payload_flags = 0;
    std::int64_t end = 0;  // the first byte after the header

    bool error_correction() const {
        return (error_correction_flags & asf::packet_format::kErrorCorrectionPresent) != 0;
    }
    bool multiple_payloads() const {
        return (length_type_flags & asf::packet_format::kMultiplePayloadsPresent) != 0;
    }
    std::uint32_t payload_count() const {
        return multiple_payloads() ? static_cast<std::uint32_t>(
                                         payload_flags & asf::packet_format::kNumberOfPayloadsMask)
                                   : 1;
    }
    unsigned payload_length_type() const {
        return static_cast<unsigned>(payload_flags >> asf::packet_format::kPayloadLengthTypeShift) &
               3u;
    }
};

// One item of payload extension data, for the system the stream declares at
// `system` (its index in the stream's list).
struct ExtensionItem {
    std::uint32_t system = 0;
    std::int64_t offset = 0;  // of the item, its length word included
    std::int64_t data = 0;
    std::uint64_t size = 0;
};

struct Payload {
    // How far its header was read: the fields before a cut are shown.
    enum class Stage : std::uint8_t { none, header, replicated_data, whole };

    std::uint32_t index = 0;
    std::int64_t offset = 0;
    Stage stage = Stage::none;
    std::uint8_t stream = 0;
    bool key_frame = false;
    std::uint64_t media_object_number = 0;
    // A compressed payload keeps the presentation time of its first
    // sub-payload here.
    std::uint64_t offset_into_media_object = 0;
    std::uint64_t replicated_data_length = 0;
    std::int64_t replicated_data = 0;  // where it starts
    bool has_object_fields = false;    // Media Object Size and Presentation Time
    std::uint64_t media_object_size = 0;
    std::uint64_t presentation_time = 0;  // ms
    bool compressed = false;
    std::uint64_t time_delta = 0;  // ms, between sub-payloads
    std::uint64_t payload_length = 0;
    std::int64_t data_offset = 0;
    // Payload extension data: [first_extension, first_extension +
    // extensions) of the packet's items, or `extension_bytes` of bytes when
    // the stream declares no system.
    std::size_t first_extension = 0;
    std::size_t extensions = 0;
    std::uint64_t extension_bytes = 0;

    bool starts_media_object() const { return compressed || offset_into_media_object == 0; }
    std::int64_t data_end() const {
        return data_offset + static_cast<std::int64_t>(payload_length);
    }
};

// A finding met while the packet was read, and where it belongs: to the
// packet before its payloads, to a payload, or to the packet after them.
struct PacketProblem {
    enum class Place : std::uint8_t { header, payload, end };
    Place place = Place::header;
    std::uint32_t payload = 0;
    std::int64_t offset = 0;
    Severity severity = Severity::error;
    std::string_view code;
    std::string message;
};

struct Packet {
    std::uint64_t index = 0;
    std::int64_t offset = 0;
    std::int64_t size = 0;   // the packet size
    std::int64_t limit = 0;  // the packet's end, or the file's
    bool header_whole = false;
    PacketHeader header;
    // Where the payloads end and the padding starts; payloads are read only
    // when `area_valid`.
    bool area_valid = false;
    std::int64_t area_end = 0;
    std::vector<Payload> payloads;
    std::vector<ExtensionItem> extension_items;
    std::vector<PacketProblem> problems;
    // After the last payload read: where the payloads end, and whether every
    // declared payload was read.
    std::int64_t payloads_end = 0;
    bool payloads_whole = false;
    // The payloads end before the padding with zero bytes.
    bool zero_filled = false;
};

}  // namespace asfinspect::decode
