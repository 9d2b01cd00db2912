#include "dump/walker.hpp"

#include <algorithm>
#include <array>
#include <limits>
#include <span>
#include <string_view>

#include "dump/object_ids.hpp"
#include "io/le.hpp"
#include "io/saturating.hpp"

namespace asfinspect::dump {

namespace {

struct ObjectHeader {
    std::int64_t start = 0;
    asf::Guid guid;
    ObjectKind kind = ObjectKind::none;
    std::int64_t size = 0;  // counts the 24 header bytes
};

using asf::object_format::kSizeFieldOffset;
using io::saturating_add;

// size - 24 as a floating value, without overflowing for the most negative sizes.
double payload_length(std::int64_t size) {
    if (size >= std::numeric_limits<std::int64_t>::min() + kObjectHeaderSize) {
        return static_cast<double>(size - kObjectHeaderSize);
    }
    return static_cast<double>(size) - static_cast<double>(kObjectHeaderSize);
}

void indent(io::Output& out, int depth) {
    static constexpr std::string_view kSpaces =
        "                                                                ";
    static_assert(kSpaces.size() >= kMaxHeaderDepth);
    out.text(kSpaces.substr(0, static_cast<std::size_t>(depth)));
}

void print_object_line(io::Output& out, const ObjectHeader& object, int depth) {
    indent(out, depth);
    out.i64(object.start);
    if (object.kind == ObjectKind::none) {
        print_guid(out.text(": Unknown GUID "), object.guid).text(", size 0x");
    } else {
        out.text(": ").text(object_name(object.kind)).text(", size ");
    }
    out.real(payload_length(object.size)).end_line();
}

ObjectHeader read_object_header(io::FileReader& file, std::int64_t start) {
    std::array<std::uint8_t, kObjectHeaderSize> raw{};
    file.read_at(start, raw);
    ObjectHeader object;
    object.start = start;
    std::copy_n(raw.begin(), object.guid.bytes.size(), object.guid.bytes.begin());
    object.kind = lookup_guid(object.guid);
    object.size = io::le64s(raw, kSizeFieldOffset);
    return object;
}

void capture_stream(io::FileReader& file, ScanState& state, const ObjectHeader& object) {
    // An undersized object takes its slot and leaves it zero.
    auto& slot = state.streams[static_cast<std::size_t>(state.stream_count++)];
    if (object.size <= kObjectHeaderSize)
        return;
    const auto stored = std::min<std::int64_t>(object.size - kObjectHeaderSize, kStreamSlotSize);
    file.read_at(object.start + kObjectHeaderSize,
                 std::span(slot).first(static_cast<std::size_t>(stored)));
}

// Acts on one object whose size is above 0; returns where the walk goes on.
std::int64_t visit_object(io::FileReader& file, io::Output& out, ScanState& state,
                          const ObjectHeader& object, int depth) {
    const std::int64_t payload_start = object.start + kObjectHeaderSize;
    const std::int64_t object_end = saturating_add(object.start, object.size);
    switch (object.kind) {
        case ObjectKind::header:
            if (depth >= kMaxHeaderDepth) {
                out.text("Header nesting too deep").end_line();
                break;
            }
            walk_objects(file, out, state, payload_start + kHeaderObjectPreamble,
                         object.size - kObjectHeaderSize - kHeaderObjectPreamble, depth + 1);
            break;
        case ObjectKind::data:
            state.first_packet_offset = payload_start + kDataObjectPreamble;
            break;
        case ObjectKind::stream_properties:
            if (state.stream_count < kMaxCapturedStreams)
                capture_stream(file, state, object);
            break;
        case ObjectKind::file_properties:
            file.read_at(payload_start, state.file_properties);
            // ASF prescribes exactly these 80 bytes; the walk goes on after them.
            return payload_start + static_cast<std::int64_t>(kFilePropertiesSize);
        default:
            break;  // listed and skipped by its size
    }
    return object_end;
}

}  // namespace

void walk_objects(io::FileReader& file, io::Output& out, ScanState& state, std::int64_t start,
                  std::int64_t length, int depth) {
    const std::int64_t end = saturating_add(start, length);
    // Each pass either moves forward by at least one byte or ends the run; a
    // failed read ends every run.
    for (std::int64_t position = start; position < end && !file.failed();) {
        if (!file.holds(position, kObjectHeaderSize))
            break;  // cut-short object header
        const ObjectHeader object = read_object_header(file, position);
        if (file.failed())
            break;  // an unreadable object header isn't listed
        print_object_line(out, object, depth);
        if (object.size < kObjectHeaderSize)
            out.text("Illegal length of chunk").end_line();
        if (object.size <= 0)
            break;  // skipping it would never move forward
        position = visit_object(file, out, state, object, depth);
    }
}

}  // namespace asfinspect::dump
