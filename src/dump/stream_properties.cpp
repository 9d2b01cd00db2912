#include "dump/stream_properties.hpp"

#include <algorithm>

#include "asf/guid_registry.hpp"
#include "io/le.hpp"

namespace asfinspect::dump {

namespace {

asf::Guid guid_at(const StreamSlot& slot, std::size_t at) {
    asf::Guid g;
    std::copy_n(slot.begin() + static_cast<std::ptrdiff_t>(at), g.bytes.size(), g.bytes.begin());
    return g;
}

// A byte of the slot at a computed offset; outside the slot it reads as zero.
std::uint8_t byte_or_zero(const StreamSlot& slot, std::int64_t at) {
    if (at < 0 || at >= static_cast<std::int64_t>(slot.size()))
        return 0;
    return slot[static_cast<std::size_t>(at)];
}

std::uint16_t word_or_zero(const StreamSlot& slot, std::int64_t at) {
    return static_cast<std::uint16_t>(byte_or_zero(slot, at) | byte_or_zero(slot, at + 1) << 8);
}

// The spread parameters follow a WAVEFORMATEX of 18 + cbSize bytes, whatever
// the type-specific data length says; cbSize is signed.
SpreadParameters decode_spread(const StreamSlot& slot, std::int16_t cb_size) {
    namespace at = spread_layout;
    const std::int64_t p = static_cast<std::int64_t>(stream_layout::kSpreadBase) + cb_size;
    return {byte_or_zero(slot, p + at::kSpan), word_or_zero(slot, p + at::kVirtualPacketLength),
            word_or_zero(slot, p + at::kVirtualChunkLength),
            word_or_zero(slot, p + at::kSilenceDataLength),
            byte_or_zero(slot, p + at::kSilenceData)};
}

Concealment concealment_of(const asf::Guid& type) {
    if (type == asf::guids::kNoErrorCorrection || type == asf::guids::kAudioConcealNone) {
        return Concealment::none;
    }
    return type == asf::guids::kAudioSpread ? Concealment::audio_spread : Concealment::unknown;
}

std::string fourcc_at(const StreamSlot& slot) {
    const auto first = slot.begin() + static_cast<std::ptrdiff_t>(stream_layout::kCompression);
    const auto last = first + static_cast<std::ptrdiff_t>(stream_layout::kFourccLength);
    return {first, std::find(first, last, std::uint8_t{0})};
}

}  // namespace

StreamFields decode_stream(const StreamSlot& slot) {
    namespace at = stream_layout;
    const io::Bytes b(slot);
    StreamFields s;
    s.flags = io::le16(b, at::kFlags);
    s.type_specific_length = io::le32s(b, at::kTypeSpecificLength);
    s.error_correction_length = io::le32s(b, at::kErrorCorrectionLength);
    s.time_offset = io::le64s(b, at::kTimeOffset);
    s.reserved = io::le32s(b, at::kReserved);
    const asf::Guid type = guid_at(slot, at::kStreamType);
    if (type == asf::guids::kAudioMedia) {
        s.type = StreamType::audio;
        s.format_tag = io::le16s(b, at::kFormatTag);
        s.concealment = concealment_of(guid_at(slot, at::kErrorCorrectionType));
        if (s.concealment == Concealment::audio_spread) {
            s.spread = decode_spread(slot, io::le16s(b, at::kCbSize));
        }
    } else if (type == asf::guids::kVideoMedia) {
        s.type = StreamType::video;
        s.format_data_size = io::le16s(b, at::kFormatDataSize);
        s.fourcc = fourcc_at(slot);
    }
    return s;
}

namespace {

void print_audio(io::Output& out, const StreamFields& s) {
    out.text(" Audio stream").end_line();
    out.text(" Format ID ").i32(s.format_tag).end_line();
    switch (s.concealment) {
        case Concealment::none:
            out.text(" No data concealment").end_line();
            break;
        case Concealment::audio_spread:
            out.text(" Interleave data concealment").end_line();
            out.text(" Parameters: ")
                .u64(s.spread.span)
                .text(" ")
                .u64(s.spread.virtual_packet_length)
                .text(" ")
                .u64(s.spread.virtual_chunk_length)
                .text(" ")
                .u64(s.spread.silence_data_length)
                .text(" ")
                .u64(s.spread.first_silence_byte)
                .end_line();
            break;
        case Concealment::unknown:
            out.text(" Unknown uid_conceal").end_line();
            break;
    }
}

void print_video(io::Output& out, const StreamFields& s) {
    out.text(" Video stream").end_line();
    out.text(" biSize ").i32(s.format_data_size).end_line();
    out.text(" fourcc ").text(s.fourcc).end_line();
}

}  // namespace

void report_stream(io::Output& out, const StreamSlot& slot) {
    const StreamFields s = decode_stream(slot);
    out.text("Dumping stream header: ").end_line();
    out.text(" Stream ID ").u64(s.flags).end_line();
    out.text(" Total data size: ").i32(s.type_specific_length).end_line();
    out.text(" Variable data size: ").i32(s.error_correction_length).end_line();
    // Both values are floating, so they print in decimal right after the "0x".
    out.text(" Unknown fields: ").hex();
    out.text("0x").real(static_cast<double>(s.time_offset));
    out.text(" 0x").real(static_cast<double>(s.reserved));
    out.dec().end_line();
    switch (s.type) {
        case StreamType::audio:
            print_audio(out, s);
            break;
        case StreamType::video:
            print_video(out, s);
            break;
        case StreamType::unknown:
            out.text(" Unknown stream").end_line();
            break;
    }
}

}  // namespace asfinspect::dump
