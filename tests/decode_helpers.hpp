#pragma once

// Runs the complete decoder over bytes built in a test, into the tree, the
// JSON or the check view, and gives back what the view wrote.

#include <functional>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "asf_writer.hpp"
#include "check/check_view.hpp"
#include "decode/decoder.hpp"
#include "io/file_reader.hpp"
#include "io/output.hpp"
#include "view/json_view.hpp"
#include "view/tree_view.hpp"

namespace asftest {

using asfinspect::asf::registry_guid;

template <typename View, typename... Args>
std::string decode_with(const Bytes& file, const asfinspect::decode::DecodeOptions& options,
                        Args&&... args) {
    asfinspect::io::FileReader reader(file);
    auto out = asfinspect::io::Output::memory();
    View view(out, std::forward<Args>(args)...);
    if constexpr (std::is_base_of_v<asfinspect::decode::FindingSink, View>) {
        asfinspect::decode::decode_file(reader, view, view, "test.asf", options);
    } else {
        asfinspect::decode::DiscardFindings discard;
        asfinspect::decode::decode_file(reader, view, discard, "test.asf", options);
    }
    return out.text_so_far();
}

inline std::string tree_of(const Bytes& file,
                           const asfinspect::decode::DecodeOptions& options = {}) {
    return decode_with<asfinspect::view::TreeView>(file, options);
}

inline std::string json_of(const Bytes& file,
                           const asfinspect::decode::DecodeOptions& options = {}) {
    return decode_with<asfinspect::view::JsonView>(file, options);
}

// The check's findings, one line each, and its closing count.
inline std::string check_of(const Bytes& file) {
    return decode_with<asfinspect::check::CheckView>(file, {},
                                                     asfinspect::check::CheckView::Format::text);
}

// The finding codes of the check, in the order they are met.
inline std::vector<std::string> codes_of(const Bytes& file) {
    const std::string json = decode_with<asfinspect::check::CheckView>(
        file, {}, asfinspect::check::CheckView::Format::json);
    std::vector<std::string> codes;
    const std::string_view key = "\"code\":\"";
    for (auto at = json.find(key); at != std::string::npos; at = json.find(key, at + 1)) {
        const auto start = at + key.size();
        codes.push_back(json.substr(start, json.find('"', start) - start));
    }
    return codes;
}

// The findings' severities and codes, in file order: "warning:file-size
// error:packet-fill".
inline std::string severity_codes_of(const Bytes& file) {
    const std::string json = decode_with<asfinspect::check::CheckView>(
        file, {}, asfinspect::check::CheckView::Format::json);
    std::string codes;
    for (auto at = json.find("\"severity\":\""); at != std::string::npos;
         at = json.find("\"severity\":\"", at + 1)) {
        const auto severity = json.substr(at + 12, json.find('"', at + 12) - at - 12);
        const auto code_at = json.find("\"code\":\"", at) + 8;
        codes += (codes.empty() ? "" : " ") + severity + ":" +
                 json.substr(code_at, json.find('"', code_at) - code_at);
    }
    return codes;
}

// A small well-formed file, described field by field so that a test can put
// one fault in before it is built: an audio stream 1 and a video stream 2, a
// Header Extension, and packets whose payloads fill them exactly and carry
// whole media objects (the video object of packet 0 ends in packet 1).
struct FileSpec {
    struct Payload {
        std::uint8_t stream = 1;
        bool key = true;
        std::uint8_t object_number = 0;
        std::uint32_t offset = 0;  // into the media object
        std::uint32_t object_size = 0;
        std::uint32_t time = 0;
        std::uint16_t length = 0;
        std::uint8_t replicated_length = 8;
    };
    struct Packet {
        std::uint32_t send_time = 0;
        std::vector<Payload> payloads;
        int padding_delta = 0;  // bytes of padding more than the payloads leave
        std::uint8_t fill = 0;  // the bytes after the payloads
    };
    struct Stream {
        std::uint16_t number = 1;
        bool audio = true;
        int type_specific_delta = 0;  // added to the Type-Specific Data Length
        std::int16_t cb_size = 0;
    };

    std::uint32_t packet_size = 256;
    std::uint64_t preroll = 1000;
    std::uint64_t play_duration = 13'000'000;  // preroll and 300 ms, in 100 ns
    std::uint32_t flags = 2;                   // seekable
    std::optional<std::uint32_t> minimum_packet_size;
    std::optional<std::uint64_t> file_size;      // the real size when unset
    std::optional<std::uint64_t> packets_count;  // the packets' number when unset
    std::optional<std::uint64_t> total_data_packets;
    std::optional<std::int64_t> data_object_size;
    std::uint8_t data_file_id = 0xf1;
    std::optional<std::uint32_t> header_count;
    std::uint8_t reserved2 = 2;
    bool header_extension = true;
    std::vector<Stream> streams{{1, true}, {2, false}};
    std::vector<Bytes> more_header_objects;
    Bytes header_extension_data;       // objects inside the Header Extension
    std::vector<Bytes> first_objects;  // before the Header Object
    Bytes between_header_and_data;
    Bytes trailing;
    std::optional<Bytes> raw_packets;  // instead of `packets`, in packet_size pieces
    std::vector<Packet> packets{
        {0, {{1, true, 0, 0, 20, 1000, 20}, {2, true, 0, 0, 300, 1000, 150}}},
        {100, {{2, true, 0, 150, 300, 1000, 150}}},
        {200, {{1, true, 1, 0, 20, 1100, 20}, {2, true, 1, 0, 100, 1100, 100}}},
    };
};

inline Bytes spec_payload(const FileSpec::Payload& p) {
    Bytes b;
    put8(b, p.stream | (p.key ? 0x80 : 0));
    put8(b, p.object_number);
    put32(b, p.offset);
    put8(b, p.replicated_length);
    if (p.replicated_length >= 8) {
        put32(b, p.object_size);
        put32(b, p.time);
        b.resize(b.size() + p.replicated_length - 8, 0);
    } else {
        b.resize(b.size() + p.replicated_length, 0);
    }
    put16(b, p.length);
    b.resize(b.size() + p.length, 0xee);
    return b;
}

// 82 00 00, Length Type Flags 0x09 (a padding byte, several payloads),
// Property Flags 0x5d, then the payloads and the padding.
inline Bytes spec_packet(const FileSpec& spec, const FileSpec::Packet& packet) {
    Bytes payloads;
    for (const auto& p : packet.payloads)
        put(payloads, spec_payload(p));
    constexpr std::size_t kHead = 13;
    const auto padding = static_cast<int>(spec.packet_size) -
                         static_cast<int>(kHead + payloads.size()) + packet.padding_delta;
    Bytes b{0x82, 0x00, 0x00, 0x09, 0x5d, static_cast<std::uint8_t>(padding)};
    put32(b, packet.send_time);
    put16(b, 0);
    put8(b, 0x80 | packet.payloads.size());
    put(b, payloads);
    b.resize(spec.packet_size, packet.fill);
    return b;
}

inline Bytes build(const FileSpec& spec) {
    using asfinspect::dump::ObjectKind;
    Bytes header_children;
    std::uint32_t children = 0;
    const std::uint64_t present =
        spec.raw_packets ? spec.raw_packets->size() / spec.packet_size : spec.packets.size();
    const std::uint64_t count = spec.packets_count.value_or(present);
    FileProps props;
    props.packets = static_cast<std::int64_t>(count);
    props.play_duration = static_cast<std::int64_t>(spec.play_duration);
    props.send_duration = 3'000'000;
    props.preroll = spec.preroll;
    props.flags = spec.flags;
    props.min_packet = spec.minimum_packet_size.value_or(spec.packet_size);
    props.max_packet = spec.packet_size;
    put(header_children, file_properties(props));
    ++children;
    if (spec.header_extension) {
        Bytes he;
        put(he, registry_guid("ABD3D211-A9BA-11CF-8EE6-00C00C205365"));
        put16(he, 6);
        put32(he, spec.header_extension_data.size());
        put(he, spec.header_extension_data);
        put(header_children, object(registry_guid("5FBF03B5-A92E-11CF-8EE3-00C00C205365"), he));
        ++children;
    }
    for (const auto& s : spec.streams) {
        StreamProps props_of_stream;
        props_of_stream.flags = s.number;
        if (s.audio) {
            props_of_stream.type_specific = waveformatex(0x161, s.cb_size);
        } else {
            props_of_stream.type = asfinspect::asf::guids::kVideoMedia;
            props_of_stream.type_specific = video_format("WMV2");
        }
        Bytes payload = stream_properties_payload(props_of_stream);
        const auto length = static_cast<std::uint32_t>(props_of_stream.type_specific.size() +
                                                       s.type_specific_delta);
        for (int i = 0; i < 4; ++i)
            payload[40 + i] = static_cast<std::uint8_t>(length >> (8 * i));
        put(header_children, object(ObjectKind::stream_properties, payload));
        ++children;
    }
    for (const auto& o : spec.more_header_objects) {
        put(header_children, o);
        ++children;
    }
    Bytes header_payload;
    put32(header_payload, spec.header_count.value_or(children));
    put8(header_payload, 1);
    put8(header_payload, spec.reserved2);
    put(header_payload, header_children);

    Bytes packets;
    if (spec.raw_packets) {
        packets = *spec.raw_packets;
    } else {
        for (const auto& p : spec.packets)
            put(packets, spec_packet(spec, p));
    }
    Bytes data_payload(16, spec.data_file_id);
    put64(data_payload, spec.total_data_packets.value_or(count));
    put16(data_payload, 0x0101);
    put(data_payload, packets);
    Bytes data = object(ObjectKind::data, data_payload);
    if (spec.data_object_size) {
        for (int i = 0; i < 8; ++i)
            data[16 + i] = static_cast<std::uint8_t>(*spec.data_object_size >> (8 * i));
    }

    Bytes file;
    for (const auto& o : spec.first_objects)
        put(file, o);
    const std::size_t header_at = file.size();
    put(file, object(ObjectKind::header, header_payload));
    put(file, spec.between_header_and_data);
    put(file, data);
    put(file, spec.trailing);
    // The File Size field, 16 bytes into the File Properties payload.
    const std::uint64_t size = spec.file_size.value_or(file.size());
    const std::size_t file_size_at = header_at + 30 + 24 + 16;
    for (int i = 0; i < 8; ++i)
        file[file_size_at + static_cast<std::size_t>(i)] =
            static_cast<std::uint8_t>(size >> (8 * i));
    return file;
}

}  // namespace asftest
