#include "decode/packets/show.hpp"

#include <algorithm>
#include <array>

#include "asf/payload_extensions.hpp"
#include "asf/sentinels.hpp"
#include "io/le.hpp"

namespace asfinspect::decode {

namespace pf = asf::packet_format;

namespace {

constexpr FlagName kContentTypeNames[] = {
    {asf::extension_layout::kInterlaced, "Interlaced"},
    {asf::extension_layout::kTopFieldFirst, "Top Field First"},
    {asf::extension_layout::kRepeatFirstField, "Repeat First Field"},
};

std::uint64_t u(std::int64_t v) {
    return static_cast<std::uint64_t>(v);
}

// A DVR-MS time, or the value that stands for none.
void show_time(View& view, const Key& key, std::uint64_t v) {
    const std::string_view meaning = asf::name_of(v, asf::sentinels::kNoTime);
    if (meaning.empty()) {
        view.unsigned_value(key, v, Unit::hundred_nanoseconds);
    } else {
        view.unset_value(key, v, Unit::hundred_nanoseconds, meaning);
    }
}

// An item's data as its kind reads it, when the kind allows its size; as
// bytes otherwise.
void show_extension_data(View& view, const asf::ExtensionKind* kind, io::Bytes head,
                         std::uint64_t size) {
    if (kind == nullptr || !kind->allows(size)) {
        view.bytes_value("Extension Data", head, size);
        return;
    }
    switch (kind->content) {
        case asf::ExtensionContent::sample_duration:
            view.unsigned_value("Sample Duration", io::le16(head, 0), Unit::milliseconds);
            break;
        case asf::ExtensionContent::pixel_aspect_ratio:
            view.unsigned_value("Aspect Ratio X", head[0], Unit::none);
            view.unsigned_value("Aspect Ratio Y", head[1], Unit::none);
            break;
        case asf::ExtensionContent::content_type:
            view.flags_value("Content Type", head[0], kContentTypeNames);
            break;
        case asf::ExtensionContent::dvr_ms_timing: {
            constexpr std::size_t kStart = asf::extension_layout::kDvrMsTimingSkipped;
            show_time(view, "Start Time", io::le64(head, kStart));
            show_time(view, "End Time", io::le64(head, kStart + 8));
            break;
        }
    }
}

void show_extensions(View& view, io::FileReader& file, const Packet& packet, const Payload& payload,
                     const StreamFacts& stream) {
    if (payload.extension_bytes != 0) {
        view.bytes_value("Payload Extension Data", {}, payload.extension_bytes);
        return;
    }
    if (stream.extensions.empty() || !payload.has_object_fields ||
        payload.replicated_data_length == pf::kMediaObjectReplicatedData) {
        return;
    }
    view.begin_list("Payload Extension Data", "Extension");
    for (std::size_t i = 0; i < payload.extensions; ++i) {
        const ExtensionItem& item = packet.extension_items[payload.first_extension + i];
        const PayloadExtensionFacts& system = stream.extensions[item.system];
        view.begin_item(i, item.offset);
        view.guid_value("Extension System ID", system.system);
        view.unsigned_value("Extension Data Size", item.size, Unit::none);
        std::array<std::uint8_t, kBlobHeadBytes> raw{};
        const auto shown = static_cast<std::size_t>(std::min<std::uint64_t>(item.size, raw.size()));
        file.read_at(item.data, std::span(raw).first(shown));
        show_extension_data(view, system.kind, io::Bytes(raw).first(shown), item.size);
        view.end_item();
    }
    view.end_list();
}

}  // namespace

void show_packet_header(View& view, io::FileReader& file, const Packet& packet) {
    const PacketHeader& h = packet.header;
    if (h.error_correction()) {
        view.flag_parts_value("Error Correction Flags", h.error_correction_flags,
                              pf::kErrorCorrectionFlagParts);
        std::array<std::uint8_t, pf::kErrorCorrectionDataLengthMask> data{};
        const auto length = static_cast<std::size_t>(h.error_correction_length);
        file.read_at(packet.offset + 1, std::span(data).first(length));
        view.bytes_value("Error Correction Data", io::Bytes(data).first(length), length);
    }
    view.flag_parts_value("Length Type Flags", h.length_type_flags, pf::kLengthTypeFlagParts);
    view.flag_parts_value("Property Flags", h.property_flags, pf::kPropertyFlagParts);
    if (h.has_packet_length)
        view.unsigned_value("Packet Length", h.packet_length, Unit::none);
    if (h.has_sequence)
        view.unsigned_value("Sequence", h.sequence, Unit::none);
    if (h.has_padding_length)
        view.unsigned_value("Padding Length", h.padding_length, Unit::none);
    view.unsigned_value("Send Time", h.send_time, Unit::milliseconds);
    view.unsigned_value("Duration", h.duration, Unit::milliseconds);
    if (h.multiple_payloads()) {
        view.flag_parts_value("Payload Flags", h.payload_flags, pf::kPayloadFlagParts);
        view.unsigned_value("Number of Payloads", h.payload_count(), Unit::none);
        view.enum_value("Payload Length Type", h.payload_length_type(),
                        asf::name_of(h.payload_length_type(), pf::kLengthTypeNames));
    }
}

void show_payload(View& view, io::FileReader& file, const Packet& packet, const Payload& p,
                  const StreamFacts& stream) {
    if (p.stage == Payload::Stage::none)
        return;
    view.unsigned_value("Stream Number", p.stream, Unit::none);
    view.bool_value("Key Frame", p.key_frame);
    view.unsigned_value("Media Object Number", p.media_object_number, Unit::none);
    // In a compressed payload this is the presentation time of its first sub-payload.
    view.unsigned_value("Offset Into Media Object", p.offset_into_media_object,
                        p.compressed ? Unit::milliseconds : Unit::none);
    view.unsigned_value("Replicated Data Length", p.replicated_data_length, Unit::none);
    if (p.stage == Payload::Stage::header)
        return;
    if (p.has_object_fields) {
        view.unsigned_value("Media Object Size", p.media_object_size, Unit::none);
        view.unsigned_value("Presentation Time", p.presentation_time, Unit::milliseconds);
        show_extensions(view, file, packet, p, stream);
    } else if (p.compressed) {
        view.unsigned_value("Presentation Time Delta", p.time_delta, Unit::milliseconds);
    } else if (p.replicated_data_length != 0) {
        std::array<std::uint8_t, pf::kMediaObjectReplicatedData> raw{};
        const auto n = static_cast<std::size_t>(p.replicated_data_length);
        file.read_at(p.replicated_data, std::span(raw).first(n));
        view.bytes_value("Replicated Data", io::Bytes(raw).first(n), n);
    }
    if (p.stage == Payload::Stage::replicated_data)
        return;
    view.unsigned_value("Payload Length", p.payload_length, Unit::none);
    view.unsigned_value("Data Offset", u(p.data_offset), Unit::file_offset);
}

void show_sub_payload(View& view, const Payload& payload, std::uint64_t index, std::int64_t at,
                      std::uint8_t length) {
    view.begin_item(index, -1);
    view.unsigned_value("Length", length, Unit::none);
    view.unsigned_value("Data Offset", u(at + 1), Unit::file_offset);
    view.unsigned_value("Presentation Time",
                        payload.offset_into_media_object + index * payload.time_delta,
                        Unit::milliseconds);
    view.end_item();
}

}  // namespace asfinspect::decode
