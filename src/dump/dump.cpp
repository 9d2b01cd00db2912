#include "dump/dump.hpp"

#include <algorithm>
#include <cstdint>
#include <limits>

#include "dump/file_properties.hpp"
#include "dump/packet.hpp"
#include "dump/scan_state.hpp"
#include "dump/stream_properties.hpp"
#include "dump/walker.hpp"

namespace asfinspect::dump {

namespace {

// Packets are laid end to end from the first packet offset, spaced by the
// minimum packet size; the loop stops at the end of the file so that a
// truncated recording, or a damaged count, can't make it run on for ever.
// The offset of packet i, or the largest offset when it is beyond any file.
std::int64_t packet_offset(std::int64_t first_offset, std::int64_t i, std::int64_t spacing) {
    std::int64_t product = 0;
    std::int64_t offset = 0;
    if (__builtin_mul_overflow(i, spacing, &product) ||
        __builtin_add_overflow(first_offset, product, &offset)) {
        return std::numeric_limits<std::int64_t>::max();
    }
    return offset;
}

// A selection starts at packet `first`; packet numbers are reached by
// computing their offsets, never by reading the packets before them.
void dump_packets(io::FileReader& file, io::Output& out, std::int64_t first_offset,
                  const FilePropertiesFields& props, const decode::PacketRange& packets) {
    const std::int64_t count = props.data_packets;
    const std::int64_t spacing = props.min_packet_size;  // unsigned 32-bit, in 64-bit arithmetic
    const auto packet_size = static_cast<std::int32_t>(props.min_packet_size);
    if (packets.empty || count <= 0)
        return;
    const std::int64_t last = packets.last < static_cast<std::uint64_t>(count)
                                  ? static_cast<std::int64_t>(packets.last)
                                  : count - 1;
    const std::int64_t first = static_cast<std::int64_t>(
        std::min<std::uint64_t>(packets.first, static_cast<std::uint64_t>(count)));
    // After packet 0 the dump prints in decimal, whatever base the reports left.
    if (first > 0)
        out.dec();
    // With a packet size of 0 every packet repeats the first, which alone is
    // shown; and the dump stops at the first packet past the end of the file.
    if (first > 0 &&
        (spacing == 0 || packet_offset(first_offset, first - 1, spacing) >= file.size()))
        return;
    for (std::int64_t i = first; i <= last && !out.failed() && !file.failed(); ++i) {
        const std::int64_t offset = packet_offset(first_offset, i, spacing);
        if (offset >= file.size()) {
            out.dec().text("Truncated file: ").i64(i).text(" of ").i64(count);
            out.text(" packets present").end_line();
            return;
        }
        dump_packet(file, out, offset, packet_size);
        if (spacing == 0 && count > 1) {
            out.text("Packet size is 0: later packets repeat the first").end_line();
            return;
        }
    }
}

}  // namespace

void dump_file(io::FileReader& file, io::Output& out, const decode::PacketRange& packets) {
    dump_file(file, out, std::span(&packets, 1));
}

void dump_file(io::FileReader& file, io::Output& out, std::span<const decode::PacketRange> runs) {
    ScanState state;
    out.hex();
    walk_objects(file, out, state, 0, file.size(), 0);
    if (file.failed())
        return;  // the reports would show what the file doesn't hold
    report_file_properties(out, state.file_properties);
    for (int i = 0; i < state.stream_count; ++i) {
        report_stream(out, state.streams[static_cast<std::size_t>(i)]);
    }
    if (state.first_packet_offset < 0) {
        out.text("Data chunk not found").end_line();
        return;
    }
    out.text("First data packet: offset ").i64(state.first_packet_offset).end_line();
    const FilePropertiesFields props = decode_file_properties(state.file_properties);
    for (const decode::PacketRange& packets : runs)
        dump_packets(file, out, state.first_packet_offset, props, packets);
}

}  // namespace asfinspect::dump
