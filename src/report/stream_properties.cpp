#include "report/stream_properties.hpp"

#include "asf/stream_properties.hpp"

namespace asfinspect::report {

namespace {

void print_audio(io::Output& out, const asf::StreamFields& s) {
    out.text(" Audio stream").end_line();
    out.text(" Format ID ").i32(s.format_tag).end_line();
    switch (s.concealment) {
        case asf::Concealment::none:
            out.text(" No data concealment").end_line();
            break;
        case asf::Concealment::audio_spread:
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
        case asf::Concealment::unknown:
            out.text(" Unknown uid_conceal").end_line();
            break;
    }
}

void print_video(io::Output& out, const asf::StreamFields& s) {
    out.text(" Video stream").end_line();
    out.text(" biSize ").i32(s.format_data_size).end_line();
    out.text(" fourcc ").text(s.fourcc).end_line();
}

}  // namespace

void report_stream(io::Output& out, const asf::StreamSlot& slot) {
    const asf::StreamFields s = asf::decode_stream(slot);
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
        case asf::StreamType::audio:
            print_audio(out, s);
            break;
        case asf::StreamType::video:
            print_video(out, s);
            break;
        case asf::StreamType::unknown:
            out.text(" Unknown stream").end_line();
            break;
    }
}

}  // namespace asfinspect::report
