#include "decode/packets/parse.hpp"

#include <algorithm>
#include <array>

#include "decode/findings.hpp"
#include "decode/text.hpp"
#include "io/le.hpp"
#include "io/zeros.hpp"

namespace asfinspect::decode {

namespace pf = asf::packet_format;

namespace {

using Place = PacketProblem::Place;

std::uint64_t u(std::int64_t v) {
    return static_cast<std::uint64_t>(v);
}

}  // namespace

void PacketParser::problem(Place place, std::uint32_t payload, std::int64_t offset,
                           Severity severity, std::string_view code, std::string message) {
    packet_.problems.push_back({place, payload, offset, severity, code, std::move(message)});
}

bool PacketParser::read(int width, std::uint64_t& v) {
    v = 0;
    if (width == 0)
        return true;
    if (!cursor_.holds(static_cast<std::uint64_t>(width)))
        return false;
    v = cursor_.take(width);
    // A failed read of the file gives zeros, not the packet's bytes.
    return !file_.failed();
}

const Packet& PacketParser::parse(std::uint64_t index, std::int64_t offset) {
    Packet& p = packet_;
    p.index = index;
    p.offset = offset;
    p.size = facts_.data.packet_size;
    p.limit = std::min(offset + p.size, file_.size());
    p.header = {};
    p.header_whole = false;
    p.area_valid = false;
    p.area_end = 0;
    p.payloads.clear();
    p.extension_items.clear();
    p.problems.clear();
    p.payloads_end = 0;
    p.payloads_whole = false;
    p.zero_filled = false;
    file_.bring_in(offset, p.limit - offset);
    cursor_ = io::Cursor(file_, offset, p.limit);
    p.header_whole = read_header();
    if (!p.header_whole) {
        if (!file_.failed()) {
            const bool cut = p.limit < offset + p.size;
            problem(Place::header, 0, offset, Severity::error,
                    cut ? codes::kTruncatedFile : codes::kPacketParse,
                    cut ? message("the file ends inside the packet's header, ", p.limit - offset,
                                  " bytes into the packet")
                        : message("the packet's header doesn't fit its ", p.size, " bytes"));
        }
        return p;
    }
    find_payload_area();
    if (p.area_valid)
        read_payloads();
    return p;
}

bool PacketParser::read_header() {
    PacketHeader& h = packet_.header;
    std::uint64_t first = 0;
    if (!read(1, first))
        return false;
    h.error_correction_flags = static_cast<std::uint8_t>(first);
    if (h.error_correction()) {
        h.error_correction_length = h.error_correction_flags & pf::kErrorCorrectionDataLengthMask;
        if ((h.error_correction_flags & pf::kErrorCorrectionLengthTypeMask) != 0) {
            problem(Place::header, 0, packet_.offset, Severity::warning, codes::kPacketParse,
                    "the Error Correction Length Type is not 0; the error correction data is "
                    "taken as 2 bytes");
            h.error_correction_length = pf::kAssumedErrorCorrectionDataLength;
        }
        std::uint64_t flags = 0;
        if (!cursor_.skip(h.error_correction_length) || !read(1, flags))
            return false;
        h.length_type_flags = static_cast<std::uint8_t>(flags);
    } else {
        // No error correction: the first byte is already the Length Type Flags.
        h.length_type_flags = h.error_correction_flags;
        h.error_correction_flags = 0;
    }
    std::uint64_t property = 0;
    if (!read(1, property))
        return false;
    h.property_flags = static_cast<std::uint8_t>(property);
    const auto width_of = [&](int shift) {
        return pf::field_width(pf::length_type(h.length_type_flags, shift));
    };
    h.has_packet_length = width_of(pf::kPacketLengthTypeShift) != 0;
    h.has_sequence = width_of(pf::kSequenceTypeShift) != 0;
    h.has_padding_length = width_of(pf::kPaddingLengthTypeShift) != 0;
    if (!read(width_of(pf::kPacketLengthTypeShift), h.packet_length) ||
        !read(width_of(pf::kSequenceTypeShift), h.sequence) ||
        !read(width_of(pf::kPaddingLengthTypeShift), h.padding_length) ||
        !read(pf::kSendTimeWidth, h.send_time) || !read(pf::kDurationWidth, h.duration)) {
        return false;
    }
    if (h.multiple_payloads() && !read(1, h.payload_flags))
        return false;
    h.end = cursor_.position();
    return true;
}

// The payloads fill the packet up to its padding: the explicit Packet Length,
// or the packet size, less the Padding Length. A Packet Length below the
// packet size leaves the rest as padding too.
void PacketParser::find_payload_area() {
    Packet& p = packet_;
    const PacketHeader& h = p.header;
    const auto header_problem = [&](Severity severity, std::string_view code, std::string text) {
        problem(Place::header, 0, p.offset, severity, code, std::move(text));
    };
    const auto stream_length_type =
        pf::length_type(h.property_flags, pf::kStreamNumberLengthTypeShift);
    if (stream_length_type != pf::kByteLengthType) {
        header_problem(Severity::warning, codes::kPacketParse,
                       message("the Stream Number Length Type is ", stream_length_type,
                               "; ASF fixes it at 1, and the stream number is read as a byte"));
    }
    std::int64_t length = p.size;
    if (h.has_packet_length) {
        if (h.packet_length > u(p.size)) {
            header_problem(Severity::error, codes::kPacketLength,
                           message("Packet Length ", h.packet_length, " is above the packet size ",
                                   p.size, "; the packet is read as ", p.size, " bytes"));
        } else if (h.packet_length == 0) {
            header_problem(Severity::error, codes::kPacketLength,
                           message("Packet Length is 0; the packet is read as ", p.size, " bytes"));
        } else {
            length = static_cast<std::int64_t>(h.packet_length);
        }
    }
    const std::int64_t header_bytes = h.end - p.offset;
    const auto padding = static_cast<std::int64_t>(h.padding_length);
    std::int64_t area_end = p.offset + length - padding;
    // Some muxers count the padding outside the Packet Length, which then
    // plus the Padding Length makes the packet size; players read such
    // packets, taking the payloads up to the Packet Length. When the padding
    // can't even fit inside the Packet Length the lengths contradict each
    // other, and players drop the packet.
    const bool padding_after_length = h.has_packet_length && padding > 0 &&
                                      length == static_cast<std::int64_t>(h.packet_length) &&
                                      length + padding == p.size;
    if (padding_after_length) {
        area_end = p.offset + length;
        if (padding > length - header_bytes) {
            header_problem(
                Severity::error, codes::kPacketLength,
                message("Packet Length ", h.packet_length, " leaves out the ", padding,
                        " bytes of padding (", h.packet_length, " + ", padding, " = ", p.size,
                        ", the packet size), and the padding can't fit inside it; the "
                        "payloads are read up to the Packet Length"));
        }
    } else if (padding > length || area_end < h.end) {
        header_problem(Severity::error, codes::kPacketParse,
                       message("Padding Length ", padding, " leaves no room for the ", header_bytes,
                               "-byte header in a packet of ", length, " bytes"));
        return;
    }
    p.area_valid = true;
    p.area_end = area_end;
}

void PacketParser::read_payloads() {
    Packet& p = packet_;
    // A payload's header may not reach into the padding either.
    cursor_ = io::Cursor(file_, cursor_.position(), std::min(p.limit, p.area_end));
    const std::uint32_t count = p.header.payload_count();
    bool whole = true;
    next_payload_ = cursor_.position();
    for (std::uint32_t i = 0; i < count && whole; ++i) {
        if (next_payload_ >= p.area_end) {
            problem(Place::end, 0, next_payload_, Severity::error, codes::kPacketFill,
                    message("the packet declares ", count,
                            " payloads, but its payload area ends after ", i));
            whole = false;
            break;
        }
        whole = read_payload(i, p.payloads.emplace_back());
    }
    p.payloads_whole = whole;
    p.payloads_end = next_payload_;
    if (!whole || p.payloads_end == p.area_end)
        return;
    // An early Windows Media muxer leaves the rest of the packet zero after
    // the last payload, with a Padding Length of 0; players take it as
    // padding.
    if (p.payloads_end < p.area_end && p.area_end <= file_.size() &&
        io::zeros_end(file_, p.payloads_end, p.area_end) == p.area_end) {
        p.zero_filled = true;
        return;
    }
    problem(
        Place::end, 0, p.payloads_end, Severity::error, codes::kPacketFill,
        p.payloads_end < p.area_end
            ? message("the payloads end ", p.area_end - p.payloads_end,
                      " bytes before the padding, which leaves them unaccounted for")
            : message("the payloads run ", p.payloads_end - p.area_end, " bytes into the padding"));
}

bool PacketParser::read_payload(std::uint32_t index, Payload& p) {
    const Packet& packet = packet_;
    const PacketHeader& h = packet.header;
    p.index = index;
    p.offset = cursor_.position();
    const bool file_ends_first = file_.size() < packet.area_end;
    const auto cut_short = [&](std::string_view what) {
        problem(Place::payload, index, cursor_.position(), Severity::error,
                file_ends_first ? codes::kTruncatedFile : codes::kPacketParse,
                message("payload ", index, "'s ", what, " runs past the end of the ",
                        file_ends_first ? "file" : "payload area"));
        return false;
    };
    const auto width_of = [&](int shift) {
        return pf::field_width(pf::length_type(h.property_flags, shift));
    };
    std::uint64_t stream = 0;
    if (!read(1, stream) ||
        !read(width_of(pf::kMediaObjectNumberLengthTypeShift), p.media_object_number) ||
        !read(width_of(pf::kOffsetIntoMediaObjectLengthTypeShift), p.offset_into_media_object) ||
        !read(width_of(pf::kReplicatedDataLengthTypeShift), p.replicated_data_length)) {
        return cut_short("header");
    }
    p.stream = static_cast<std::uint8_t>(stream & pf::kStreamNumberMask);
    p.key_frame = (stream & pf::kKeyFrame) != 0;
    p.compressed = p.replicated_data_length == pf::kCompressedPayload;
    p.stage = Payload::Stage::header;
    if (u(cursor_.left()) < p.replicated_data_length)
        return cut_short("replicated data");
    p.replicated_data = cursor_.position();
    if (p.replicated_data_length >= pf::kMediaObjectReplicatedData) {
        read(4, p.media_object_size);
        read(4, p.presentation_time);
        p.has_object_fields = true;
        if (p.replicated_data_length > pf::kMediaObjectReplicatedData) {
            read_extensions(p, cursor_.position(),
                            p.replicated_data_length - pf::kMediaObjectReplicatedData);
        }
    } else if (p.compressed) {
        read(1, p.time_delta);
    } else if (p.replicated_data_length != 0) {
        problem(Place::payload, index, cursor_.position(), Severity::error, codes::kReplicatedData,
                message("Replicated Data Length ", p.replicated_data_length,
                        ": ASF allows 0, 1 (compressed) or 8 and more"));
    }
    cursor_.seek(p.replicated_data + static_cast<std::int64_t>(p.replicated_data_length));
    p.stage = Payload::Stage::replicated_data;

    if (h.multiple_payloads()) {
        const int width = pf::field_width(h.payload_length_type());
        if (width == 0) {
            problem(Place::payload, index, cursor_.position(), Severity::error, codes::kPacketParse,
                    "Payload Length Type 0 in a packet of several payloads: the payload takes "
                    "the rest of the packet");
            p.payload_length = u(packet.area_end - cursor_.position());
        } else if (!read(width, p.payload_length)) {
            return cut_short("Payload Length");
        }
    } else {
        p.payload_length = u(packet.area_end - cursor_.position());
    }
    p.data_offset = cursor_.position();
    p.stage = Payload::Stage::whole;
    const std::int64_t data_end = p.data_end();
    const bool overruns = data_end > packet.area_end;
    if (overruns) {
        problem(Place::payload, index, p.offset, Severity::error, codes::kPacketFill,
                message("payload ", index, "'s ", p.payload_length, " bytes of data run ",
                        data_end - packet.area_end, " bytes past the payload area"));
    }
    // The next payload follows, though the file may end first.
    next_payload_ = std::min(data_end, packet.area_end);
    cursor_.seek(next_payload_);
    return !overruns;
}

// The payload extension data: one item per system that the stream's
// Extended Stream Properties Object declares, in that order.
void PacketParser::read_extensions(Payload& p, std::int64_t start, std::uint64_t length) {
    if (length == 0)
        return;
    const StreamFacts& stream = facts_.streams[p.stream];
    if (stream.extensions.empty()) {
        problem(Place::payload, p.index, start, Severity::warning, codes::kPayloadExtension,
                message("the replicated data holds ", length,
                        " bytes after the Media Object Size and Presentation Time, but no "
                        "Extended Stream Properties Object declares payload extension systems "
                        "for stream ",
                        p.stream));
        p.extension_bytes = length;
        return;
    }
    std::vector<ExtensionItem>& items = packet_.extension_items;
    p.first_extension = items.size();
    const std::int64_t end = start + static_cast<std::int64_t>(length);
    std::int64_t at = start;
    std::uint32_t i = 0;
    // Each pass takes one system's item, until the replicated data ends.
    for (; i < stream.extensions.size(); ++i) {
        const PayloadExtensionFacts& system = stream.extensions[i];
        std::uint64_t size = system.size;
        std::int64_t data = at;
        if (system.size == kVariableExtensionSize) {
            if (end - at < 2)
                break;
            std::array<std::uint8_t, 2> raw{};
            file_.read_at(at, raw);
            size = io::le16(raw, 0);
            data = at + 2;
        }
        if (u(end - data) < size)
            break;
        items.push_back({i, at, data, size});
        at = data + static_cast<std::int64_t>(size);
    }
    p.extensions = items.size() - p.first_extension;
    if (i < stream.extensions.size()) {
        problem(Place::payload, p.index, at, Severity::error, codes::kPayloadExtension,
                message("the replicated data ends inside payload extension ", i, " of ",
                        stream.extensions.size(),
                        " that the Extended Stream Properties Object of stream ", p.stream,
                        " declares"));
    } else if (at != end) {
        problem(Place::payload, p.index, at, Severity::error, codes::kPayloadExtension,
                message("the replicated data holds ", end - at,
                        " bytes after the payload extensions that the Extended Stream Properties "
                        "Object of stream ",
                        p.stream, " declares"));
    }
}

PacketStreams streams_in(const Packet& packet) {
    PacketStreams in;
    for (const Payload& p : packet.payloads) {
        if (p.stage != Payload::Stage::whole)
            continue;
        in.payloads.set(p.stream);
        if (!p.starts_media_object())
            continue;
        in.object_starts.set(p.stream);
        if (p.key_frame)
            in.key_frame_starts.set(p.stream);
    }
    return in;
}

}  // namespace asfinspect::decode
