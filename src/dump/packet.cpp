#include "dump/packet.hpp"

#include "dump/payload.hpp"

namespace asfinspect::dump {

namespace {

namespace at = packet_layout;

constexpr double kMillisecondsPerSecond = 1000.0;

void decode_standard_form(const RawPacketHeader& bytes, PacketHeaderFields& f) {
    PacketHeader& h = f.header;
    const io::Bytes b(bytes);
    h.length_type_flags = bytes[at::kLengthTypeFlags];
    h.segment_format = bytes[at::kPropertyFlags];
    std::size_t next = at::kFirstOptionalField;
    if ((h.length_type_flags & at::kExplicitPacketLength) != 0) {
        f.has_explicit_length = true;
        f.explicit_length = io::le16(b, next);
        h.packet_size = f.explicit_length;
        next += 2;
    }
    if ((h.length_type_flags & at::kPaddingWord) != 0) {
        f.has_padding_word = true;
        f.padding_word = io::le16(b, next);
        h.padding_length = f.padding_word;
        next += 2;
    }
    if ((h.length_type_flags & at::kPaddingByte) != 0) {
        f.has_padding_byte = true;
        f.padding_byte = bytes[next];
        h.padding_length = static_cast<std::uint16_t>(h.padding_length + f.padding_byte);
        next += 1;
    }
    f.send_time_ms = io::le32s(b, next);
    next += 4;
    f.duration_ms = io::le16s(b, next);
    next += 2;
    h.segment_count = 1;
    if (h.multiple_payloads()) {
        const std::uint8_t payload_flags = bytes[next];
        h.segment_count = payload_flags & asf::packet_format::kNumberOfPayloadsMask;
        h.payload_length_type = payload_flags & at::kPayloadLengthTypeMask;
        next += 1;
    }
    h.header_length = static_cast<std::int32_t>(next);
}

void decode_other_form(const RawPacketHeader& bytes, PacketHeaderFields& f) {
    f.sequence = bytes[at::kOtherSequence];
    f.pad_length = io::le16s(io::Bytes(bytes), at::kOtherPadLength);
    f.header.segment_count =
        static_cast<std::uint8_t>(bytes[at::kOtherSegmentCount] + at::kOtherSegmentCountBias);
    f.header.header_length = at::kOtherHeaderLength;
}

void print_standard_form(io::Output& out, const PacketHeaderFields& f) {
    const PacketHeader& h = f.header;
    out.text("Global packet flags ").u64(h.length_type_flags).end_line();
    out.text("Segment format ").u64(h.segment_format).end_line();
    if (f.has_explicit_length) {
        out.text("Explicit packet size: ")
            .i32(static_cast<std::int16_t>(f.explicit_length))
            .end_line();
    }
    if (f.has_padding_word) {
        out.text("Padding size [word] ").i32(static_cast<std::int16_t>(f.padding_word)).end_line();
    }
    if (f.has_padding_byte)
        out.text("Padding size [byte] ").u64(f.padding_byte).end_line();
    out.text("Send packet time: ")
        .real(f.send_time_ms / kMillisecondsPerSecond)
        .text(" s")
        .end_line();
    out.text("Duration: ").real(f.duration_ms / kMillisecondsPerSecond).text(" s").end_line();
    if (h.multiple_payloads()) {
        out.u64(h.segment_count).text(" segments");
        if (h.payload_length_type == at::kByteLengths)
            out.text(" ( 1-byte dimensions )");
        out.end_line();
    }
}

void print_other_form(io::Output& out, const PacketHeaderFields& f) {
    out.text("!!!!!!!!!!!!! YS packet !!!!!!!!!!!!!!!!").end_line();
    out.text("Sequence number: ").u64(f.sequence).end_line();
    out.text("Pad length: ").i32(f.pad_length).end_line();
    out.u64(f.header.segment_count).text(" segments").end_line();
}

}  // namespace

PacketHeaderFields decode_packet_header(const RawPacketHeader& bytes, std::int64_t offset,
                                        std::int32_t packet_size) {
    PacketHeaderFields f;
    f.header.offset = offset;
    f.header.packet_size = packet_size;
    f.header.spacing = static_cast<std::uint32_t>(packet_size);
    f.header.standard_form = bytes[0] == at::kStandardFormMarker;
    if (f.header.standard_form) {
        decode_standard_form(bytes, f);
    } else {
        decode_other_form(bytes, f);
    }
    return f;
}

void print_byte_dump(io::Output& out, io::Bytes bytes) {
    out.fill('0').hex_bytes(bytes).dec().end_line();
}

void dump_packet(io::FileReader& file, io::Output& out, std::int64_t offset,
                 std::int32_t packet_size) {
    RawPacketHeader bytes;
    file.read_at(offset, bytes);
    if (file.failed())
        return;  // an unreadable packet isn't dumped
    out.end_line();
    out.text(" Dumping packet at offset ").i64(offset).end_line();
    print_byte_dump(out, io::Bytes(bytes).first(at::kDumpedHeaderBytes));

    const PacketHeaderFields fields = decode_packet_header(bytes, offset, packet_size);
    const PacketHeader& header = fields.header;
    if (header.standard_form) {
        print_standard_form(out, fields);
    } else {
        print_other_form(out, fields);
    }

    PayloadCursor cursor{
        offset + header.header_length,
        wrap_i32(std::int64_t{header.packet_size} - header.padding_length - header.header_length)};
    out.text("Segments area: ").i32(cursor.remaining).text(" bytes").end_line();
    for (int k = 0; k < header.segment_count; ++k) {
        if (dump_segment(file, out, header, k, cursor))
            break;
    }
}

}  // namespace asfinspect::dump
