#include "dump/payload.hpp"

#include <array>

namespace asfinspect::dump {

namespace {

namespace at = payload_layout;

constexpr std::int32_t kMillisecondsPerSecond = 1000;

// Single-fragment payload fields, from the local flags at f.
constexpr std::size_t kObjectSizeFromFlags = 1;     // Replicated Data: Media Object Size
constexpr std::size_t kObjectTimeFromFlags = 5;     // Replicated Data: Presentation Time
constexpr std::size_t kPayloadLengthFromFlags = 9;  // h = f + 9
// Grouped payload: the Presentation Time Delta follows the local flags.
constexpr std::size_t kTimeDeltaFromFlags = 1;

// Seconds and milliseconds of a millisecond count; both parts keep the sign.
void print_object_time(io::Output& out, std::int32_t ms) {
    out.text("  Object time ")
        .i32(ms / kMillisecondsPerSecond)
        .text(".")
        .fill('0')
        .width(3)
        .i32(ms % kMillisecondsPerSecond)
        .text(" s")
        .end_line();
}

void print_stream_line(io::Output& out, const PayloadHeader& p, std::int32_t sequence,
                       std::int64_t length) {
    out.text(" Stream ")
        .u64(p.stream_number)
        .text(", seq_num ")
        .i32(sequence)
        .text(": Fragment length ")
        .i64(length)
        .end_line();
}

void print_local_flags(io::Output& out, std::uint8_t flags) {
    out.text("  Local flags ").u64(flags);
    switch (flags) {
        case at::kGroupedPayload:
            out.text(" ( Multiple fragments )");
            break;
        case at::kSingleFragment:
            out.text(" ( Single fragment )");
            break;
        default:
            out.text(" ( Unknown )");
            break;
    }
    out.end_line();
}

void dump_single_fragment(io::Output& out, const PacketHeader& header, io::Bytes window,
                          const PayloadHeader& p, PayloadCursor& cursor) {
    const std::size_t f = p.local_flags_at;
    out.text("  Fragment offset ").i32(p.format_value).end_line();
    out.text("  Object length ").i32(io::le32s(window, f + kObjectSizeFromFlags)).end_line();
    print_object_time(out, io::le32s(window, f + kObjectTimeFromFlags));

    const std::size_t h = f + kPayloadLengthFromFlags;
    if (!header.multiple_payloads()) {
        // The only payload fills the rest of the area.
        print_stream_line(out, p, p.media_object_number,
                          wrap_i32(cursor.remaining - static_cast<std::int64_t>(h)));
        cursor.position += cursor.remaining;
        cursor.remaining = 0;
        return;
    }
    std::int64_t length = 0;
    std::int64_t length_field = 1;
    if (header.payload_length_type == packet_layout::kWordLengths) {
        length = io::le16(window, h);
        length_field = 2;
    } else if (header.payload_length_type == packet_layout::kByteLengths) {
        length = window[h];
    } else {
        out.text("Unknown segsize").end_line();
    }
    print_stream_line(out, p, p.media_object_number, length);
    const auto taken = static_cast<std::int64_t>(h) + length + length_field;
    cursor.position += taken;
    cursor.consume(taken);
}

// Returns true when the file ended, or a read failed, inside the sub-payload walk.
bool dump_grouped_payload(io::FileReader& file, io::Output& out, const PacketHeader& header,
                          io::Bytes window, const PayloadHeader& p, PayloadCursor& cursor) {
    cursor.position += at::kGroupedHeaderLength;
    print_object_time(out, p.format_value);
    out.text("  Unknown: ").u64(window[p.local_flags_at + kTimeDeltaFromFlags]).end_line();
    cursor.consume(at::kGroupedHeaderLength);
    auto left = static_cast<std::uint16_t>(cursor.remaining);  // N
    if (header.multiple_payloads()) {
        std::array<std::uint8_t, 2> word{};
        file.read_at(cursor.position, word);
        if (file.failed())
            return true;
        left = io::le16(word, 0);
        cursor.position += 2;
        out.text("  Object len ").u64(left).end_line();
        cursor.consume(2);
    }
    std::int32_t sequence = p.media_object_number;
    // Each sub-payload is a length byte L and L bytes; the walk ends when they
    // have used up N, or at the first one that doesn't fit its payload or packet.
    while (left != 0) {
        if (!file.holds(cursor.position, 1)) {
            out.text("Unexpected end of file").end_line();
            return true;
        }
        std::array<std::uint8_t, 1> length_byte{};
        file.read_at(cursor.position, length_byte);
        if (file.failed())
            return true;
        const std::int64_t taken = std::int64_t{length_byte[0]} + 1;
        print_stream_line(out, p, sequence, length_byte[0]);
        ++sequence;
        cursor.consume(taken);
        const bool overruns = taken > left || cursor.position + taken > header.end();
        left = static_cast<std::uint16_t>(left - taken);
        cursor.position += taken;
        if (overruns) {
            out.text("Sub-payload overruns its payload").end_line();
            return false;
        }
    }
    return false;
}

}  // namespace

PayloadHeader decode_payload_header(io::Bytes window, std::uint8_t segment_format) {
    PayloadHeader p;
    const std::uint8_t first = window[at::kStreamNumber];
    p.key_frame = (first & asf::packet_format::kKeyFrame) != 0;
    p.stream_number = first & asf::packet_format::kStreamNumberMask;
    p.media_object_number = window[at::kMediaObjectNumber];
    switch (segment_format) {
        case at::kByteOffsetFormat:
            p.format_value = window[at::kOffsetIntoMediaObject];
            p.local_flags_at = at::kOffsetIntoMediaObject + 1;
            break;
        case at::kWordOffsetFormat:
            p.format_value = io::le16s(window, at::kOffsetIntoMediaObject);
            p.local_flags_at = at::kOffsetIntoMediaObject + 2;
            break;
        case at::kDwordOffsetFormat:
            p.format_value = io::le32s(window, at::kOffsetIntoMediaObject);
            p.local_flags_at = at::kOffsetIntoMediaObject + 4;
            break;
        default:
            p.format_value = 0;
            p.local_flags_at = at::kOffsetIntoMediaObject;
            break;
    }
    p.local_flags = window[p.local_flags_at];
    return p;
}

bool dump_segment(io::FileReader& file, io::Output& out, const PacketHeader& header, int k,
                  PayloadCursor& cursor) {
    std::array<std::uint8_t, at::kWindowBytes> window{};
    file.read_at(cursor.position, window);
    if (file.failed())
        return true;  // an unreadable payload isn't dumped
    out.text(" Segment ").i32(k).text(" at offset ").i64(cursor.position).text(":").end_line();
    print_byte_dump(out, io::Bytes(window).first(at::kDumpedBytes));
    const PayloadHeader p = decode_payload_header(window, header.segment_format);
    if (p.key_frame)
        out.text("Key frame").end_line();
    print_local_flags(out, p.local_flags);
    if (!header.standard_form)
        return false;  // other-form payloads aren't decoded
    switch (p.local_flags) {
        case at::kSingleFragment:
            dump_single_fragment(out, header, window, p, cursor);
            return false;
        case at::kGroupedPayload:
            return dump_grouped_payload(file, out, header, window, p, cursor);
        default:
            out.text(" !!!!!!!!!!!!!!!! UNKNOWN LFLAGS ")
                .u64(p.local_flags)
                .text(" !!!!!!!!!!!!!!")
                .end_line();
            return true;
    }
}

}  // namespace asfinspect::dump
