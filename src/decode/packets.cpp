#include "decode/packets.hpp"

#include <algorithm>
#include <array>

#include "asf/guid_registry.hpp"
#include "asf/packet_format.hpp"
#include "asf/payload_extensions.hpp"
#include "decode/findings.hpp"
#include "decode/text.hpp"
#include "io/le.hpp"

namespace asfinspect::decode {

namespace pf = asf::packet_format;

namespace {

constexpr FlagName kErrorCorrectionFlagNames[] = {
    {pf::kErrorCorrectionPresent, "Error Correction Present"},
    {pf::kOpaqueDataPresent, "Opaque Data Present"},
};
constexpr FlagName kLengthTypeFlagNames[] = {
    {pf::kMultiplePayloadsPresent, "Multiple Payloads Present"},
};
constexpr FlagName kContentTypeNames[] = {
    {asf::extension_layout::kInterlaced, "Interlaced"},
    {asf::extension_layout::kTopFieldFirst, "Top Field First"},
    {asf::extension_layout::kRepeatFirstField, "Repeat First Field"},
};

std::uint64_t u(std::int64_t v) {
    return static_cast<std::uint64_t>(v);
}

}  // namespace

struct PacketDecoder::Header {
    std::uint64_t index = 0;
    std::int64_t offset = 0;
    std::uint8_t error_correction_flags = 0;
    std::uint8_t error_correction_length = 0;
    std::uint8_t length_type_flags = 0;
    std::uint8_t property_flags = 0;
    bool has_packet_length = false;
    bool has_sequence = false;
    bool has_padding_length = false;
    std::uint64_t packet_length = 0;
    std::uint64_t sequence = 0;
    std::uint64_t padding_length = 0;
    std::uint64_t send_time = 0;
    std::uint64_t duration = 0;
    std::uint64_t payload_flags = 0;
    std::int64_t end = 0;  // the first byte after the header

    bool error_correction() const {
        return (error_correction_flags & pf::kErrorCorrectionPresent) != 0;
    }
    bool multiple_payloads() const {
        return (length_type_flags & pf::kMultiplePayloadsPresent) != 0;
    }
    std::uint32_t payload_count() const {
        return multiple_payloads()
                   ? static_cast<std::uint32_t>(payload_flags & pf::kNumberOfPayloadsMask)
                   : 1;
    }
    unsigned payload_length_type() const {
        return static_cast<unsigned>(payload_flags >> pf::kPayloadLengthTypeShift) & 3u;
    }
};

struct PacketDecoder::Payload {
    std::uint32_t index = 0;
    std::int64_t offset = 0;
    std::uint8_t stream = 0;
    bool key_frame = false;
    std::uint64_t media_object_number = 0;
    std::uint64_t offset_into_media_object = 0;
    std::uint64_t replicated_data_length = 0;
    bool has_object_fields = false;  // Media Object Size and Presentation Time
    std::uint64_t media_object_size = 0;
    std::uint64_t presentation_time = 0;
    bool compressed = false;
    std::uint64_t time_delta = 0;
    std::uint64_t payload_length = 0;
    std::int64_t data_offset = 0;
};

PacketDecoder::PacketDecoder(Decoder& decoder) : PacketDecoder(decoder, decoder.file()) {}

PacketDecoder::PacketDecoder(Decoder& decoder, io::FileReader& file)
    : decoder_(decoder),
      file_(file),
      view_(decoder.view()),
      facts_(decoder.facts()),
      show_(decoder.view().wants_fields()),
      check_sequence_(decoder.options().packets.is_all()) {}

void PacketDecoder::problem(std::int64_t offset, Severity severity, std::string_view code,
                            std::string_view text) {
    if (!quiet_)
        decoder_.report(offset, severity, code, text);
}

bool PacketDecoder::read(int width, std::uint64_t& v) {
    v = 0;
    if (width == 0)
        return true;
    if (cut_ || limit_ - cursor_ < width) {
        cut_ = true;
        return false;
    }
    std::array<std::uint8_t, 8> raw{};
    file_.read_at(cursor_, std::span(raw).first(static_cast<std::size_t>(width)));
    for (int i = width - 1; i >= 0; --i)
        v = v << 8 | raw[static_cast<std::size_t>(i)];
    cursor_ += width;
    return true;
}

// ---------------------------------------------------------------------------
// Where the packets are.

bool PacketDecoder::top_level_object_at(std::int64_t at) {
    std::array<std::uint8_t, kObjectHeaderSize> raw{};
    if (file_.read_at(at, raw) < raw.size())
        return false;
    asf::Guid guid;
    std::copy_n(raw.begin(), guid.bytes.size(), guid.bytes.begin());
    const asf::GuidInfo* known = asf::find_guid(guid);
    return known != nullptr && known->placement == asf::Placement::top_level &&
           io::le64s(raw, guid.bytes.size()) >= kObjectHeaderSize;
}

std::uint64_t PacketDecoder::count_packets_by_scanning() {
    DataFacts& data = facts_.data;
    const std::int64_t size = data.packet_size;
    std::uint64_t n = 0;
    std::int64_t at = data.first_packet;
    // Whole packets, up to the end of the file or to the first top-level
    // object that starts where a packet would.
    for (; at <= file_.size() - size && !file_.failed(); at += size, ++n) {
        if (top_level_object_at(at)) {
            data.end = at;
            return n;
        }
    }
    data.end = at;
    if (at < file_.size() && !top_level_object_at(at)) {
        problem(at, Severity::error, codes::kTruncatedFile,
                message("the last packet is cut short: the file ends after ", file_.size() - at,
                        " of its ", size, " bytes"));
        data.end = file_.size();
        ++n;
    }
    return n;
}

std::uint64_t PacketDecoder::locate_packets() {
    const FilePropertiesFacts& fp = facts_.file_properties;
    DataFacts& data = facts_.data;
    data.end = data.offset + std::min<std::int64_t>(data.size, file_.size() - data.offset);
    if (!fp.present) {
        problem(data.offset, Severity::error, codes::kMissingObject,
                "no ASF_File_Properties_Object comes before the Data Object, so the packet size "
                "is unknown and the packets are not decoded");
        return 0;
    }
    data.packet_size = fp.packet_size();
    const std::uint64_t size = data.packet_size;
    if (size == 0) {
        problem(data.offset, Severity::error, codes::kPacketSize,
                "the packet size is 0, so the packets are not decoded");
        return 0;
    }
    const std::uint64_t count = fp.data_packets_count;
    if (!fp.broadcast() && data.total_data_packets != count) {
        problem(data.offset, Severity::error, codes::kPacketCount,
                message("Total Data Packets is ", data.total_data_packets,
                        " but the File Properties' Data Packets Count is ", count));
    }
    constexpr std::uint64_t kHead = 50;
    const std::uint64_t object_size = u(data.size);
    const bool size_matches = object_size >= kHead && (object_size - kHead) % size == 0 &&
                              (object_size - kHead) / size == count;
    // A count and size that agree still leave packets out when what follows
    // the Data Object is no object, as in streamed files that write 0 for both.
    const std::int64_t declared_end = data.offset + data.size;
    const bool followed_by_object = declared_end >= file_.size() ||
                                    top_level_object_at(declared_end) ||
                                    !file_.holds(declared_end, size);
    if (!fp.broadcast() && size_matches && followed_by_object) {
        data.packets = count;
        data.end = data.offset + data.size;
        const std::int64_t present = std::max<std::int64_t>(file_.size() - data.first_packet, 0);
        if (data.end > file_.size()) {
            const std::uint64_t whole = u(present) / size;
            const bool partial = u(present) % size != 0;
            problem(
                data.offset, Severity::error, codes::kTruncatedFile,
                message("the file ends inside the data: ", whole, " of ", count,
                        " packets are whole, and ", data.end - file_.size(), " bytes are missing"));
            data.packets = std::min(count, whole + (partial ? 1 : 0));
        }
        return data.packets;
    }
    if (!fp.broadcast() && !size_matches) {
        problem(data.offset, Severity::error, codes::kDataSize,
                message("the Data Object's size is ", data.size, ", not 50 + ", count, " × ", size,
                        " for its packets"));
    }
    const std::uint64_t n = count_packets_by_scanning();
    if (!fp.broadcast() && n != count) {
        problem(data.offset, Severity::error, codes::kPacketCount,
                message("Data Packets Count is ", count, " but ", n, " packets are present"));
    }
    problem(data.offset, Severity::warning, codes::kBroadcastPackets,
            message(fp.broadcast() ? "the Broadcast flag is set, so sizes and counts are not kept"
                    : size_matches ? "packets follow the Data Object's end"
                                   : "the sizes and counts disagree",
                    ": the ", n, " packets of ", size, " bytes found up to ", Hex{u(data.end)},
                    " are decoded"));
    data.packets = n;
    return n;
}

std::int64_t PacketDecoder::decode_all() {
    const std::uint64_t n = locate_packets();
    DataFacts& data = facts_.data;
    view_.begin_packets();
    const PacketRange& range = decoder_.options().packets;
    const std::uint64_t first = range.begin_below(n);
    const std::uint64_t last = range.end_below(n);
    for (std::uint64_t k = first; k < last && !file_.failed(); ++k) {
        decode_packet(k, data.first_packet + static_cast<std::int64_t>(k * data.packet_size));
        ++data.decoded;
    }
    if (check_sequence_)
        finish();
    view_.end_packets();
    return data.end;
}

StreamSet PacketDecoder::key_frame_starts(std::uint64_t index) {
    const DataFacts& data = facts_.data;
    if (index >= data.packets)
        return {};
    quiet_ = true;
    show_ = false;
    check_sequence_ = false;
    probe_hits_.reset();
    decode_packet(index, data.first_packet + static_cast<std::int64_t>(index * data.packet_size));
    return probe_hits_;
}

// ---------------------------------------------------------------------------
// One packet.

bool PacketDecoder::read_header(Header& h) {
    std::uint64_t first = 0;
    if (!read(1, first))
        return false;
    h.error_correction_flags = static_cast<std::uint8_t>(first);
    if (h.error_correction()) {
        h.error_correction_length = h.error_correction_flags & pf::kErrorCorrectionDataLengthMask;
        if ((h.error_correction_flags & pf::kErrorCorrectionLengthTypeMask) != 0) {
            problem(h.offset, Severity::warning, codes::kPacketParse,
                    "the Error Correction Length Type is not 0; the error correction data is "
                    "taken as 2 bytes");
            h.error_correction_length = pf::kAssumedErrorCorrectionDataLength;
        }
        if (limit_ - cursor_ < h.error_correction_length)
            return false;
        cursor_ += h.error_correction_length;
        std::uint64_t flags = 0;
        if (!read(1, flags))
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
    h.end = cursor_;
    return true;
}

void PacketDecoder::show_header(const Header& h) {
    if (!show_)
        return;
    if (h.error_correction()) {
        view_.flags_value("Error Correction Flags", h.error_correction_flags,
                          kErrorCorrectionFlagNames);
        std::array<std::uint8_t, pf::kErrorCorrectionDataLengthMask> data{};
        const auto length = static_cast<std::size_t>(h.error_correction_length);
        file_.read_at(h.offset + 1, std::span(data).first(length));
        view_.bytes_value("Error Correction Data", io::Bytes(data).first(length), length);
    }
    view_.flags_value("Length Type Flags", h.length_type_flags, kLengthTypeFlagNames);
    view_.flags_value("Property Flags", h.property_flags, {});
    if (h.has_packet_length)
        view_.unsigned_value("Packet Length", h.packet_length, Unit::none);
    if (h.has_sequence)
        view_.unsigned_value("Sequence", h.sequence, Unit::none);
    if (h.has_padding_length)
        view_.unsigned_value("Padding Length", h.padding_length, Unit::none);
    view_.unsigned_value("Send Time", h.send_time, Unit::milliseconds);
    view_.unsigned_value("Duration", h.duration, Unit::milliseconds);
    if (h.multiple_payloads()) {
        view_.flags_value("Payload Flags", h.payload_flags, {});
        view_.unsigned_value("Number of Payloads", h.payload_count(), Unit::none);
        view_.unsigned_value("Payload Length Type", h.payload_length_type(), Unit::none);
    }
}

void PacketDecoder::decode_packet(std::uint64_t index, std::int64_t offset) {
    const std::int64_t size = facts_.data.packet_size;
    cursor_ = offset;
    limit_ = std::min(offset + size, file_.size());
    cut_ = false;
    if (show_)
        view_.begin_item(index, offset);
    Header h;
    h.index = index;
    h.offset = offset;
    if (!read_header(h)) {
        problem(offset, Severity::error,
                limit_ < offset + size ? codes::kTruncatedFile : codes::kPacketParse,
                limit_ < offset + size
                    ? message("the file ends inside the packet's header, ", limit_ - offset,
                              " bytes into the packet")
                    : message("the packet's header doesn't fit its ", size, " bytes"));
        if (show_)
            view_.end_item();
        return;
    }
    show_header(h);
    if (check_sequence_) {
        if (have_send_time_ && h.send_time < last_send_time_) {
            problem(offset, Severity::error, codes::kSendTime,
                    message("Send Time ", h.send_time, " ms is below the previous packet's ",
                            last_send_time_, " ms"));
        }
        have_send_time_ = true;
        last_send_time_ = static_cast<std::uint32_t>(h.send_time);
    }
    const auto stream_length_type =
        pf::length_type(h.property_flags, pf::kStreamNumberLengthTypeShift);
    if (stream_length_type != pf::kByteLengthType) {
        problem(offset, Severity::warning, codes::kPacketParse,
                message("the Stream Number Length Type is ", stream_length_type,
                        "; ASF fixes it at 1, and the stream number is read as a byte"));
    }

    // The payloads fill the packet up to its padding: the explicit Packet
    // Length, or the packet size, less the Padding Length. A Packet Length
    // below the packet size leaves the rest as padding too.
    std::int64_t length = size;
    if (h.has_packet_length) {
        if (h.packet_length > u(size)) {
            problem(offset, Severity::error, codes::kPacketLength,
                    message("Packet Length ", h.packet_length, " is above the packet size ", size,
                            "; the packet is read as ", size, " bytes"));
        } else if (h.packet_length == 0) {
            problem(offset, Severity::error, codes::kPacketLength,
                    message("Packet Length is 0; the packet is read as ", size, " bytes"));
        } else {
            length = static_cast<std::int64_t>(h.packet_length);
        }
    }
    const std::int64_t header_bytes = h.end - offset;
    const auto padding = static_cast<std::int64_t>(h.padding_length);
    std::int64_t area_end = offset + length - padding;
    // Some muxers count the padding outside the Packet Length, which then
    // plus the Padding Length makes the packet size; players read such
    // packets, taking the payloads up to the Packet Length. When the padding
    // can't even fit inside the Packet Length the lengths contradict each
    // other, and players drop the packet.
    const bool padding_after_length = h.has_packet_length && padding > 0 &&
                                      length == static_cast<std::int64_t>(h.packet_length) &&
                                      length + padding == size;
    if (padding_after_length) {
        area_end = offset + length;
        if (padding > length - header_bytes) {
            problem(offset, Severity::error, codes::kPacketLength,
                    message("Packet Length ", h.packet_length, " leaves out the ", padding,
                            " bytes of padding (", h.packet_length, " + ", padding, " = ", size,
                            ", the packet size), and the padding can't fit inside it; the "
                            "payloads are read up to the Packet Length"));
        }
    } else if (padding > length || area_end < h.end) {
        problem(offset, Severity::error, codes::kPacketParse,
                message("Padding Length ", padding, " leaves no room for the ", header_bytes,
                        "-byte header in a packet of ", length, " bytes"));
        if (show_)
            view_.end_item();
        return;
    }

    if (show_)
        view_.begin_list("Payloads", "Payload");
    const std::uint32_t count = h.payload_count();
    bool whole = true;
    for (std::uint32_t i = 0; i < count && whole; ++i) {
        if (cursor_ >= area_end) {
            problem(cursor_, Severity::error, codes::kPacketFill,
                    message("the packet declares ", count,
                            " payloads, but its payload area "
                            "ends after ",
                            i));
            whole = false;
            break;
        }
        Payload p;
        whole = read_payload(h, i, area_end, p);
    }
    if (show_)
        view_.end_list();
    if (whole && cursor_ != area_end) {
        problem(cursor_, Severity::error, codes::kPacketFill,
                cursor_ < area_end
                    ? message("the payloads end ", area_end - cursor_,
                              " bytes before the padding, which leaves them unaccounted for")
                    : message("the payloads run ", cursor_ - area_end, " bytes into the padding"));
    }
    if (show_)
        view_.end_item();
}

bool PacketDecoder::read_payload(const Header& h, std::uint32_t index, std::int64_t area_end,
                                 Payload& p) {
    p.index = index;
    p.offset = cursor_;
    const bool listed = show_;
    if (listed)
        view_.begin_item(index, p.offset);
    const auto done = [&](bool ok) {
        if (listed)
            view_.end_item();
        return ok;
    };
    // The payload's header may not reach into the padding either.
    const bool file_ends_first = file_.size() < area_end;
    limit_ = std::min(limit_, area_end);
    const auto cut_short = [&](std::string_view what) {
        problem(cursor_, Severity::error,
                file_ends_first ? codes::kTruncatedFile : codes::kPacketParse,
                message("payload ", index, "'s ", what, " runs past the end of the ",
                        file_ends_first ? "file" : "payload area"));
        return done(false);
    };
    std::uint64_t stream = 0;
    const auto width_of = [&](int shift) {
        return pf::field_width(pf::length_type(h.property_flags, shift));
    };
    if (!read(1, stream) ||
        !read(width_of(pf::kMediaObjectNumberLengthTypeShift), p.media_object_number) ||
        !read(width_of(pf::kOffsetIntoMediaObjectLengthTypeShift), p.offset_into_media_object) ||
        !read(width_of(pf::kReplicatedDataLengthTypeShift), p.replicated_data_length)) {
        return cut_short("header");
    }
    p.stream = static_cast<std::uint8_t>(stream & pf::kStreamNumberMask);
    p.key_frame = (stream & pf::kKeyFrame) != 0;
    facts_.streams[p.stream].key_frames |= p.key_frame && !quiet_;
    p.compressed = p.replicated_data_length == pf::kCompressedPayload;
    if (listed) {
        view_.unsigned_value("Stream Number", p.stream, Unit::none);
        view_.bool_value("Key Frame", p.key_frame);
        view_.unsigned_value("Media Object Number", p.media_object_number, Unit::none);
        // In a compressed payload this is the presentation time of its first sub-payload.
        view_.unsigned_value("Offset Into Media Object", p.offset_into_media_object,
                             p.compressed ? Unit::milliseconds : Unit::none);
        view_.unsigned_value("Replicated Data Length", p.replicated_data_length, Unit::none);
    }
    if (u(limit_ - cursor_) < p.replicated_data_length)
        return cut_short("replicated data");
    const std::int64_t replicated_start = cursor_;
    if (p.replicated_data_length >= pf::kMediaObjectReplicatedData) {
        read(4, p.media_object_size);
        read(4, p.presentation_time);
        p.has_object_fields = true;
        if (listed) {
            view_.unsigned_value("Media Object Size", p.media_object_size, Unit::none);
            view_.unsigned_value("Presentation Time", p.presentation_time, Unit::milliseconds);
        }
        read_extensions(
            p, cursor_,
            static_cast<std::uint32_t>(p.replicated_data_length - pf::kMediaObjectReplicatedData));
    } else if (p.compressed) {
        read(1, p.time_delta);
        if (listed)
            view_.unsigned_value("Presentation Time Delta", p.time_delta, Unit::milliseconds);
    } else if (p.replicated_data_length != 0) {
        problem(cursor_, Severity::error, codes::kReplicatedData,
                message("Replicated Data Length ", p.replicated_data_length,
                        ": ASF allows 0, 1 (compressed) or 8 and more"));
        if (listed) {
            std::array<std::uint8_t, 8> raw{};
            const auto n = static_cast<std::size_t>(p.replicated_data_length);
            file_.read_at(cursor_, std::span(raw).first(n));
            view_.bytes_value("Replicated Data", io::Bytes(raw).first(n), n);
        }
    }
    cursor_ = replicated_start + static_cast<std::int64_t>(p.replicated_data_length);

    if (h.multiple_payloads()) {
        const int width = pf::field_width(h.payload_length_type());
        if (width == 0) {
            problem(cursor_, Severity::error, codes::kPacketParse,
                    "Payload Length Type 0 in a packet of several payloads: the payload takes "
                    "the rest of the packet");
            p.payload_length = u(area_end - cursor_);
        } else if (!read(width, p.payload_length)) {
            return cut_short("Payload Length");
        }
    } else {
        p.payload_length = u(area_end - cursor_);
    }
    p.data_offset = cursor_;
    if (listed) {
        view_.unsigned_value("Payload Length", p.payload_length, Unit::none);
        view_.unsigned_value("Data Offset", u(p.data_offset), Unit::file_offset);
    }
    if (quiet_ && p.key_frame && (p.compressed || p.offset_into_media_object == 0))
        probe_hits_.set(p.stream);
    const std::int64_t data_end = p.data_offset + static_cast<std::int64_t>(p.payload_length);
    const bool overruns = data_end > area_end;
    if (overruns) {
        problem(p.offset, Severity::error, codes::kPacketFill,
                message("payload ", index, "'s ", p.payload_length, " bytes of data run ",
                        data_end - area_end, " bytes past the payload area"));
    }
    // A probe for key frames needs no sub-payload, so its cost stays within
    // the 63 payloads a packet can declare.
    if (p.compressed && !quiet_)
        walk_sub_payloads(p, std::min({data_end, area_end, file_.size()}));
    if (!quiet_)
        check_payload(p);
    cursor_ = std::min(data_end, area_end);
    return done(!overruns);
}

void PacketDecoder::read_extensions(const Payload& p, std::int64_t start, std::uint32_t length) {
    const StreamFacts& stream = facts_.streams[p.stream];
    if (length == 0 || quiet_)
        return;
    const std::int64_t end = start + length;
    if (stream.extensions.empty()) {
        problem(start, Severity::warning, codes::kPayloadExtension,
                message("the replicated data holds ", length,
                        " bytes after the Media Object Size and Presentation Time, but no "
                        "Extended Stream Properties Object declares payload extension systems "
                        "for stream ",
                        p.stream));
        if (show_)
            view_.bytes_value("Payload Extension Data", {}, length);
        return;
    }
    if (show_)
        view_.begin_list("Payload Extension Data", "Extension");
    std::int64_t at = start;
    std::uint32_t i = 0;
    for (const PayloadExtensionFacts& system : stream.extensions) {
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
        if (show_) {
            view_.begin_item(i, at);
            view_.guid_value("Extension System ID", system.system);
            view_.unsigned_value("Extension Data Size", size, Unit::none);
            std::array<std::uint8_t, kBlobHeadBytes> raw{};
            const auto shown = static_cast<std::size_t>(std::min<std::uint64_t>(size, raw.size()));
            file_.read_at(data, std::span(raw).first(shown));
            const io::Bytes b(raw);
            namespace el = asf::extension_layout;
            switch (system.content) {
                case asf::ExtensionContent::sample_duration:
                    if (size == 2) {
                        view_.unsigned_value("Sample Duration", io::le16(b, 0), Unit::milliseconds);
                        break;
                    }
                    [[fallthrough]];
                case asf::ExtensionContent::pixel_aspect_ratio:
                    if (size == 2) {
                        view_.unsigned_value("Aspect Ratio X", b[0], Unit::none);
                        view_.unsigned_value("Aspect Ratio Y", b[1], Unit::none);
                        break;
                    }
                    [[fallthrough]];
                case asf::ExtensionContent::content_type:
                    if (size == 1) {
                        view_.flags_value("Content Type", b[0], kContentTypeNames);
                        break;
                    }
                    [[fallthrough]];
                case asf::ExtensionContent::dvr_ms_timing:
                    if (size >= el::kDvrMsTimingLength) {
                        view_.unsigned_value("Start Time", io::le64(b, el::kDvrMsTimingSkipped),
                                             Unit::hundred_nanoseconds);
                        view_.unsigned_value("End Time", io::le64(b, el::kDvrMsTimingSkipped + 8),
                                             Unit::hundred_nanoseconds);
                        break;
                    }
                    [[fallthrough]];
                case asf::ExtensionContent::bytes:
                    view_.bytes_value("Extension Data", b.first(shown), size);
                    break;
            }
            view_.end_item();
        }
        at = data + static_cast<std::int64_t>(size);
        ++i;
    }
    if (show_)
        view_.end_list();
    if (i < stream.extensions.size()) {
        problem(at, Severity::error, codes::kPayloadExtension,
                message("the replicated data ends inside payload extension ", i, " of ",
                        stream.extensions.size(),
                        " that the Extended Stream Properties Object of "
                        "stream ",
                        p.stream, " declares"));
    } else if (at != end) {
        problem(at, Severity::error, codes::kPayloadExtension,
                message("the replicated data holds ", end - at,
                        " bytes after the payload extensions that the Extended Stream Properties "
                        "Object of stream ",
                        p.stream, " declares"));
    }
}

void PacketDecoder::walk_sub_payloads(const Payload& p, std::int64_t end) {
    if (show_)
        view_.begin_list("Sub-Payloads", "Sub-Payload");
    std::uint64_t j = 0;
    for (std::int64_t at = p.data_offset; at < end; ++j) {
        std::array<std::uint8_t, 1> length{};
        file_.read_at(at, length);
        const std::int64_t next = at + 1 + length[0];
        if (next > end) {
            problem(at, Severity::error, codes::kPacketFill,
                    message("sub-payload ", j, " of ", length[0], " bytes runs ", next - end,
                            " bytes past its payload"));
            break;
        }
        if (show_) {
            view_.begin_item(j, -1);
            view_.unsigned_value("Length", length[0], Unit::none);
            view_.unsigned_value("Data Offset", u(at + 1), Unit::file_offset);
            view_.unsigned_value("Presentation Time", p.offset_into_media_object + j * p.time_delta,
                                 Unit::milliseconds);
            view_.end_item();
        }
        at = next;
    }
    if (show_)
        view_.end_list();
}

// ---------------------------------------------------------------------------
// Checks across payloads and packets.

void PacketDecoder::check_payload(const Payload& p) {
    if (!facts_.streams[p.stream].declared && !undeclared_reported_[p.stream]) {
        undeclared_reported_[p.stream] = true;
        problem(p.offset, Severity::error, codes::kPayloadStream,
                message("a payload for stream ", p.stream,
                        ", which no Stream Properties Object declares (reported once per "
                        "stream)"));
    }
    const std::uint64_t preroll = facts_.file_properties.preroll;
    const bool starts_object = p.compressed || p.offset_into_media_object == 0;
    const std::uint64_t time = p.compressed ? p.offset_into_media_object : p.presentation_time;
    if ((p.has_object_fields || p.compressed) && starts_object && time < preroll) {
        problem(p.offset, Severity::warning, codes::kPresentationTime,
                message("presentation time ", time, " ms of stream ", p.stream,
                        " is below the preroll of ", preroll, " ms"));
    }
    if (check_sequence_)
        check_media_object(p);
}

void PacketDecoder::check_media_object(const Payload& p) {
    MediaObject& object = objects_[p.stream];
    const auto cut_off = [&](std::string_view by) {
        problem(p.offset, Severity::error, codes::kMediaObjectCut,
                message("media object ", object.number, " of stream ", p.stream, " is cut off by ",
                        by, " after ", object.received, " of its ", object.size, " bytes"));
    };
    if (p.compressed) {
        if (object.open)
            cut_off("a compressed payload");
        object.open = false;
        return;
    }
    if (!p.has_object_fields)
        return;
    if (p.offset_into_media_object == 0) {
        if (object.open)
            cut_off(message("media object ", p.media_object_number));
        object = {true, static_cast<std::uint32_t>(p.media_object_number),
                  static_cast<std::uint32_t>(p.media_object_size), p.payload_length};
    } else if (!object.open || object.number != p.media_object_number) {
        if (object.open)
            cut_off(message("a fragment of media object ", p.media_object_number));
        problem(p.offset, Severity::error, codes::kMediaObjectGap,
                message("a fragment at offset ", p.offset_into_media_object, " of media object ",
                        p.media_object_number, " of stream ", p.stream,
                        ", whose earlier fragments are missing"));
        object.open = false;
        return;
    } else {
        if (p.offset_into_media_object > object.received) {
            problem(p.offset, Severity::error, codes::kMediaObjectGap,
                    message("the fragments of media object ", object.number, " of stream ",
                            p.stream, " leave a gap from byte ", object.received, " to ",
                            p.offset_into_media_object));
        } else if (p.offset_into_media_object < object.received) {
            problem(
                p.offset, Severity::error, codes::kMediaObjectOverlap,
                message("the fragments of media object ", object.number, " of stream ", p.stream,
                        " overlap: this one starts at byte ", p.offset_into_media_object,
                        ", after ", object.received, " bytes were already given"));
        }
        // Continuation fragments may leave the Media Object Size at 0.
        if (p.media_object_size != 0 && p.media_object_size != object.size) {
            problem(
                p.offset, Severity::error, codes::kMediaObjectSize,
                message("the fragments of media object ", object.number, " of stream ", p.stream,
                        " disagree on its size: ", object.size, " and ", p.media_object_size));
        }
        object.received = std::max(object.received, p.offset_into_media_object + p.payload_length);
    }
    if (object.received > object.size) {
        problem(p.offset, Severity::error, codes::kMediaObjectSize,
                message("the fragments of media object ", object.number, " of stream ", p.stream,
                        " add up to ", object.received, " bytes, above its Media Object Size of ",
                        object.size));
        object.open = false;
    } else if (object.received == object.size) {
        object.open = false;
    }
}

void PacketDecoder::finish() {
    for (std::size_t stream = 0; stream < objects_.size(); ++stream) {
        const MediaObject& object = objects_[stream];
        if (object.open) {
            problem(facts_.data.end, Severity::error, codes::kMediaObjectCut,
                    message("media object ", object.number, " of stream ", stream,
                            " ends with the data after ", object.received, " of its ", object.size,
                            " bytes"));
        }
    }
}

}  // namespace asfinspect::decode
