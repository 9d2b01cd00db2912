#include "view/packets_csv_view.hpp"

#include <algorithm>
#include <charconv>

#include "view/format.hpp"

namespace asfinspect::view {

namespace {

// The columns: the packet's, then the payload's, by their fields' keys.
constexpr std::string_view kPacketColumns[] = {
    "packet",   "packet_offset",  "length_type_flags", "property_flags", "packet_length",
    "sequence", "padding_length", "send_time",         "duration",       "number_of_payloads"};
constexpr std::string_view kPayloadColumns[] = {"payload",
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
constexpr std::size_t kPacketCount = std::size(kPacketColumns);
constexpr std::size_t kColumnCount = kPacketCount + std::size(kPayloadColumns);

// The column of a field, among those of its part, or kColumnCount.
std::size_t column_of(std::string_view identifier, bool payload) {
    const auto* first = payload ? std::begin(kPayloadColumns) : std::begin(kPacketColumns);
    const auto* last = payload ? std::end(kPayloadColumns) : std::end(kPacketColumns);
    const auto* hit = std::find(first, last, identifier);
    if (hit == last)
        return kColumnCount;
    return static_cast<std::size_t>(hit - first) + (payload ? kPacketCount : 0);
}

void set_number(std::string& cell, std::uint64_t v) {
    char digits[24];
    const auto end = std::to_chars(std::begin(digits), std::end(digits), v).ptr;
    cell.assign(digits, end);
}

}  // namespace

void PacketsCsvView::begin(const decode::Part& part) {
    using Kind = decode::Part::Kind;
    const Role parent = roles_.empty() ? Role::other : roles_.back();
    Role role = Role::other;
    if (part.kind == Kind::file) {
        cells_.assign(kColumnCount, {});
        path_ = part.path;
        if (!batch_)
            write_csv_header(out_, false);
    } else if (part.kind == Kind::packets) {
        role = Role::packets;
    } else if (part.kind == Kind::item && parent == Role::packets) {
        role = Role::packet;
        for (std::string& cell : cells_)
            cell.clear();
        set_number(cells_[0], part.index);
        set_number(cells_[1], static_cast<std::uint64_t>(part.offset));
        packet_has_rows_ = false;
    } else if (part.kind == Kind::list && parent == Role::packet) {
        role = Role::payloads;
    } else if (part.kind == Kind::item && parent == Role::payloads) {
        role = Role::payload;
        for (std::size_t i = kPacketCount; i < kColumnCount; ++i)
            cells_[i].clear();
        set_number(cells_[kPacketCount], part.index);
        set_number(cells_[kPacketCount + 1], static_cast<std::uint64_t>(part.offset));
    }
    roles_.push_back(role);
}

void PacketsCsvView::write_csv_header(io::Output& out, bool path) {
    out.text(path ? "path," : "");
    for (std::size_t i = 0; i < kColumnCount; ++i) {
        out.text(i == 0 ? "" : ",")
            .text(i < kPacketCount ? kPacketColumns[i] : kPayloadColumns[i - kPacketCount]);
    }
    out.text("\r\n");
}

void PacketsCsvView::end(const decode::Part& /*part*/) {
    const Role role = roles_.back();
    roles_.pop_back();
    if (role == Role::payload) {
        write_row();
        packet_has_rows_ = true;
    } else if (role == Role::packet && !packet_has_rows_) {
        write_row();
    }
}

void PacketsCsvView::value(const decode::Key& key, const decode::Value& v) {
    if (roles_.empty() || (roles_.back() != Role::packet && roles_.back() != Role::payload))
        return;
    const std::size_t column = column_of(key.identifier(), roles_.back() == Role::payload);
    if (column == kColumnCount)
        return;
    if (v.kind() == decode::Value::Kind::boolean) {
        cells_[column] = v.number() != 0 ? "true" : "false";
    } else {
        set_number(cells_[column], v.number());
    }
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
