#include "view/packets_csv_view.hpp"

#include <charconv>

#include "view/format.hpp"

namespace asfinspect::view {

namespace {

// The columns: the packet's, then the payload's.
enum Column : std::size_t {
    kPacket,
    kPacketOffset,
    kLengthTypeFlags,
    kPropertyFlags,
    kPacketLength,
    kSequence,
    kPaddingLength,
    kSendTime,
    kDuration,
    kNumberOfPayloads,
    kPayload,
    kPayloadOffset,
    kStreamNumber,
    kKeyFrame,
    kMediaObjectNumber,
    kOffsetIntoMediaObject,
    kReplicatedDataLength,
    kMediaObjectSize,
    kPresentationTime,
    kPresentationTimeDelta,
    kPayloadLength,
    kDataOffset,
    kColumnCount,
};

constexpr std::string_view kColumnNames[kColumnCount] = {"packet",
                                                         "packet_offset",
                                                         "length_type_flags",
                                                         "property_flags",
                                                         "packet_length",
                                                         "sequence",
                                                         "padding_length",
                                                         "send_time",
                                                         "duration",
                                                         "number_of_payloads",
                                                         "payload",
                                                         "payload_offset",
                                                         "stream_number",
                                                         "key_frame",
                                                         "media_object_number",
                                                         "offset_into_media_object",
                                                         "replicated_data_length",
                                                         "media_object_size",
                                                         "presentation_time",
                                                         "presentation_time_delta",
                                                         "payload_length",
                                                         "data_offset"};

void set_number(std::string& cell, std::uint64_t v) {
    char digits[24];
    const auto end = std::to_chars(std::begin(digits), std::end(digits), v).ptr;
    cell.assign(digits, end);
}

void set_offset(std::string& cell, std::int64_t v) {
    set_number(cell, static_cast<std::uint64_t>(v));
}

}  // namespace

void PacketsCsvView::begin(const decode::Part& part) {
    if (part.kind == decode::Part::Kind::packets) {
        streams_ = part.selection != nullptr ? part.selection->streams : decode::StreamSet().set();
        return;
    }
    if (part.kind != decode::Part::Kind::file)
        return;
    cells_.assign(kColumnCount, {});
    path_ = part.path;
    if (!batch_)
        write_csv_header(out_, false);
}

void PacketsCsvView::write_csv_header(io::Output& out, bool path) {
    out.text(path ? "path," : "");
    for (std::size_t i = 0; i < kColumnCount; ++i)
        out.text(i == 0 ? "" : ",").text(kColumnNames[i]);
    out.text("\r\n");
}

void PacketsCsvView::packet(const decode::Packet& packet) {
    for (std::string& cell : cells_)
        cell.clear();
    set_packet_cells(packet);
    bool rows = false;
    // The payloads the decoder shows: those of the selected streams.
    for (const decode::Payload& payload : packet.payloads) {
        if (!streams_.test(payload.stream))
            continue;
        set_payload_cells(payload);
        write_row();
        rows = true;
    }
    if (!rows)
        write_row();
}

// The fields the packet's header holds, as far as it was read.
void PacketsCsvView::set_packet_cells(const decode::Packet& packet) {
    set_number(cells_[kPacket], packet.index);
    set_offset(cells_[kPacketOffset], packet.offset);
    if (!packet.header_whole)
        return;
    const decode::PacketHeader& h = packet.header;
    set_number(cells_[kLengthTypeFlags], h.length_type_flags);
    set_number(cells_[kPropertyFlags], h.property_flags);
    if (h.has_packet_length)
        set_number(cells_[kPacketLength], h.packet_length);
    if (h.has_sequence)
        set_number(cells_[kSequence], h.sequence);
    if (h.has_padding_length)
        set_number(cells_[kPaddingLength], h.padding_length);
    set_number(cells_[kSendTime], h.send_time);
    set_number(cells_[kDuration], h.duration);
    if (h.multiple_payloads())
        set_number(cells_[kNumberOfPayloads], h.payload_count());
}

// The fields of the payload's header, as far as it was read.
void PacketsCsvView::set_payload_cells(const decode::Payload& p) {
    using Stage = decode::Payload::Stage;
    for (std::size_t i = kPayload; i < kColumnCount; ++i)
        cells_[i].clear();
    set_number(cells_[kPayload], p.index);
    set_offset(cells_[kPayloadOffset], p.offset);
    if (p.stage == Stage::none)
        return;
    set_number(cells_[kStreamNumber], p.stream);
    cells_[kKeyFrame] = p.key_frame ? "true" : "false";
    set_number(cells_[kMediaObjectNumber], p.media_object_number);
    set_number(cells_[kOffsetIntoMediaObject], p.offset_into_media_object);
    set_number(cells_[kReplicatedDataLength], p.replicated_data_length);
    if (p.stage == Stage::header)
        return;
    if (p.has_object_fields) {
        set_number(cells_[kMediaObjectSize], p.media_object_size);
        set_number(cells_[kPresentationTime], p.presentation_time);
    } else if (p.compressed) {
        set_number(cells_[kPresentationTimeDelta], p.time_delta);
    }
    if (p.stage == Stage::replicated_data)
        return;
    set_number(cells_[kPayloadLength], p.payload_length);
    set_offset(cells_[kDataOffset], p.data_offset);
}

void PacketsCsvView::write_row() {
    if (batch_) {
        write_csv_field(out_, path_);
        out_.text(",");
    }
    for (std::size_t i = 0; i < kColumnCount; ++i) {
        if (i != 0)
            out_.text(",");
        write_csv_field(out_, cells_[i]);
    }
    out_.text("\r\n");
}

}  // namespace asfinspect::view
