// The Header Object, File Properties, Header Extension and Padding Objects,
// the objects kept as bytes, and the Data Object's fields before its packets.

#include <limits>

#include "asf/sentinels.hpp"
#include "asf/time_units.hpp"
#include "decode/context.hpp"
#include "decode/findings.hpp"
#include "decode/objects/objects.hpp"
#include "decode/objects/shared.hpp"
#include "decode/text.hpp"
#include "io/saturating.hpp"

namespace asfinspect::decode::objects {

namespace {

constexpr std::uint8_t kHeaderReserved1 = 0x01;
constexpr std::uint8_t kHeaderReserved2 = 0x02;
constexpr std::uint16_t kHeaderExtensionReserved2 = 6;
// The Header Extension Object's own fields: 16 + 2 + 4 bytes after its header.
constexpr std::uint64_t kHeaderExtensionFields = 22;
using asf::object_format::kDataObjectReserved;

constexpr FlagName kFilePropertiesFlags[] = {
    {0x1, "Broadcast"},
    {0x2, "Seekable"},
};

// Which muxer's habit explains `left_out` objects missing from the Number of
// Header Objects, or "" when none does.
std::string_view left_out_habit(std::uint64_t left_out, std::uint32_t markers,
                                std::uint32_t paddings) {
    if (left_out == 0)
        return {};
    if (markers != 0 && paddings != 0 && left_out == std::uint64_t{markers} + paddings)
        return "the Marker and Padding Objects are left out of the count, as ffmpeg and "
               "GStreamer write them";
    if (markers != 0 && left_out == markers)
        return "the Marker Object is left out of the count, as ffmpeg writes it";
    if (paddings != 0 && left_out == paddings)
        return "the Padding Object is left out of the count, as GStreamer writes it";
    return {};
}

void header(FieldReader& r) {
    const auto count = r.u32("Number of Header Objects");
    const auto reserved1 = r.u8("Reserved1");
    const auto reserved2 = r.u8("Reserved2");
    if (reserved1 && *reserved1 != kHeaderReserved1) {
        r.finding(Severity::warning, codes::kReservedValue,
                  message("Reserved1 is ", *reserved1, ", not 1"), r.position() - 2);
    }
    if (reserved2 && *reserved2 != kHeaderReserved2) {
        r.finding(Severity::error, codes::kReservedValue,
                  message("Reserved2 is ", *reserved2,
                          ", not 2: ASF tells readers to refuse such a file"),
                  r.position() - 1);
    }
    const Facts& facts = r.facts();
    const std::uint32_t markers_before = facts.marker_objects;
    const std::uint32_t paddings_before = facts.padding_objects_in_header;
    const std::uint32_t found = r.children(asf::Placement::header);
    const auto missing = [&](std::string_view name) {
        r.finding(Severity::error, codes::kMissingObject,
                  message("the Header Object holds no ", name), r.start() - kObjectHeaderSize);
    };
    if (!facts.file_properties.present)
        missing("ASF_File_Properties_Object");
    if (facts.stream_properties_objects == 0)
        missing("ASF_Stream_Properties_Object");
    if (!facts.header_extension_seen)
        missing("ASF_Header_Extension_Object");
    if (!count || *count == found)
        return;
    // Muxers leave objects out of the count that players, looping by size,
    // never miss: ffmpeg its Marker Object (chapters), GStreamer its Padding
    // Object.
    const std::uint32_t markers = facts.marker_objects - markers_before;
    const std::uint32_t paddings = facts.padding_objects_in_header - paddings_before;
    const std::string_view habit =
        left_out_habit(*count < found ? found - *count : 0, markers, paddings);
    const std::string counted =
        message("Number of Header Objects is ", *count, ", but the header holds ", found);
    if (habit.empty()) {
        r.finding(Severity::error, codes::kHeaderCount, counted, r.start());
    } else {
        r.finding(Severity::warning, codes::kHeaderCount,
                  message(counted, ": ", habit, "; players accept it"), r.start());
    }
}

void file_properties(FieldReader& r) {
    FilePropertiesFacts& fp = r.facts().file_properties;
    if (fp.present) {
        r.finding(Severity::error, codes::kDuplicateObject,
                  "a second ASF_File_Properties_Object; its values replace the first's");
    }
    fp = {};
    fp.offset = r.start() - kObjectHeaderSize;
    const auto file_id = r.guid("File ID");
    const auto file_size = r.u64("File Size");
    const auto created = r.date("Creation Date", asf::sentinels::kUnknownDate);
    const auto packets = r.u64("Data Packets Count");
    const auto play = r.u64("Play Duration", Unit::hundred_nanoseconds);
    const auto send = r.u64("Send Duration", Unit::hundred_nanoseconds);
    const auto preroll = r.u64("Preroll", Unit::milliseconds);
    const auto flags = r.flags("Flags", 4, kFilePropertiesFlags);
    const auto minimum = r.u32("Minimum Data Packet Size");
    const auto maximum = r.u32("Maximum Data Packet Size");
    const auto bitrate = r.u32("Maximum Bitrate");
    if (!r.ok())
        return;  // without its sizes the packets can't be found
    fp.present = true;
    fp.creation_date = *created;
    fp.maximum_bitrate = *bitrate;
    fp.file_id = *file_id;
    fp.file_size = *file_size;
    fp.data_packets_count = *packets;
    fp.play_duration = *play;
    fp.send_duration = *send;
    fp.preroll = *preroll;
    fp.flags = static_cast<std::uint32_t>(*flags);
    fp.minimum_packet_size = *minimum;
    fp.maximum_packet_size = *maximum;
    if (!fp.broadcast() &&
        fp.preroll <= std::numeric_limits<std::uint64_t>::max() / asf::kTicksPerMillisecond &&
        fp.play_duration < fp.preroll * asf::kTicksPerMillisecond) {
        r.finding(Severity::error, codes::kPlayDuration,
                  message("Play Duration ", fp.play_duration, " (100 ns) is below the Preroll of ",
                          fp.preroll, " ms"),
                  fp.offset);
    }
    if (*minimum != *maximum) {
        r.finding(Severity::error, codes::kPacketSize,
                  message("Minimum Data Packet Size ", *minimum,
                          " differs from Maximum Data Packet Size ", *maximum,
                          "; ASF makes them equal, and packets are taken as ", fp.packet_size(),
                          " bytes"),
                  fp.offset);
    }
}

void header_extension(FieldReader& r) {
    r.facts().header_extension_seen = true;
    const auto reserved1 = r.guid("Reserved Field 1");
    const auto reserved2 = r.u16("Reserved Field 2");
    const auto size = r.u32("Header Extension Data Size");
    if (!r.ok())
        return;
    if (*reserved1 != asf::guids::kReserved1) {
        r.finding(Severity::warning, codes::kReservedValue,
                  "Reserved Field 1 is not ASF_Reserved_1", r.start());
    }
    if (*reserved2 != kHeaderExtensionReserved2) {
        r.finding(Severity::warning, codes::kReservedValue,
                  message("Reserved Field 2 is ", *reserved2, ", not 6"), r.start() + 16);
    }
    const auto left = static_cast<std::uint64_t>(r.left());
    if (*size != left) {
        r.finding(Severity::error, codes::kExtensionSize,
                  message("Header Extension Data Size is ", *size, ", but the object holds ", left,
                          " bytes after its ", kHeaderExtensionFields, " bytes of fields"),
                  r.start() + 18);
    }
    FieldReader data(r, *size, "Header Extension Data");
    data.children(asf::Placement::header_extension);
    r.seek(r.end());
}

void padding(FieldReader& r) {
    r.show_unsigned("Padding Data Length", static_cast<std::uint64_t>(r.left()));
    r.seek(r.end());
}

void opaque(FieldReader& r) {
    r.blob("Data", static_cast<std::uint64_t>(r.left()));
}

// An XMP packet: XML in UTF-8.
void xmp(FieldReader& r) {
    r.facts().xmp_objects += 1;
    r.facts().xmp_bytes =
        io::saturating_add(r.facts().xmp_bytes, static_cast<std::uint64_t>(r.left()));
    r.text_blob("Data", static_cast<std::uint64_t>(r.left()));
}

void content_protection(FieldReader& r) {
    r.facts().protection.content_protection = true;
    opaque(r);
}

using T = asf::ObjectType;
constexpr LayoutRow kHeaderLayouts[] = {
    {T::header, header},
    {T::file_properties, file_properties},
    {T::header_extension, header_extension},
    {T::padding, padding},
    {T::index_placeholder, padding},
    {T::xmp, xmp},
    // Kept as bytes: the protection systems' own data.
    {T::content_protection, content_protection},
    // Its head is read by decode_data_object_head, its packets by the
    // packet decoder.
    {T::data, nullptr},
    // The unused 2.0 draft's objects, listed but not decoded.
    {T::header_v2_draft, nullptr},
    {T::data_v2_draft, nullptr},
};

}  // namespace

std::span<const LayoutRow> header_layouts() {
    return kHeaderLayouts;
}

void decode_data_object_head(FieldReader& r) {
    Facts& facts = r.facts();
    const auto file_id = r.guid("File ID");
    const auto total = r.u64("Total Data Packets");
    const auto reserved = r.u16("Reserved");
    if (!r.ok())
        return;
    facts.data.file_id = *file_id;
    facts.data.total_data_packets = *total;
    if (*reserved != kDataObjectReserved) {
        r.finding(Severity::warning, codes::kReservedValue,
                  message("Reserved is ", Hex{*reserved}, ", not 0x101"), r.position() - 2);
    }
    if (facts.file_properties.present && *file_id != facts.file_properties.file_id) {
        r.finding(Severity::error, codes::kFileId,
                  "the File ID differs from the File Properties Object's", r.start());
    }
}

}  // namespace asfinspect::decode::objects
