// Stream Properties, Extended Stream Properties and Stream Bitrate Properties.

#include <algorithm>

#include "asf/codec_data.hpp"
#include "asf/guid.hpp"
#include "asf/guid_registry.hpp"
#include "asf/payload_extensions.hpp"
#include "asf/sentinels.hpp"
#include "decode/context.hpp"
#include "decode/findings.hpp"
#include "decode/objects/shared.hpp"
#include "decode/text.hpp"

namespace asfinspect::decode::objects {

namespace {

// The stream number in the low bits of a Flags field.
constexpr std::uint16_t kStreamNumberMask = 0x7F;
// Stream Properties: the bytes before the type-specific data.
constexpr std::uint64_t kStreamPropertiesFields = 54;
// BITMAPINFOHEADER without codec specific data.
constexpr std::uint64_t kBitmapInfoHeaderSize = 40;

constexpr std::uint16_t kEncryptedContent = 0x8000;
constexpr FlagName kStreamFlags[] = {
    {kEncryptedContent, "Encrypted Content"},
};

constexpr FlagName kExtendedStreamFlags[] = {
    {0x1, "Reliable"},
    {0x2, "Seekable"},
    {0x4, "No Cleanpoints"},
    {0x8, "Resend Live Cleanpoints"},
};

struct StreamKindRow {
    asf::Guid type;
    StreamKind kind;
};

constexpr StreamKindRow kStreamKinds[] = {
    {asf::guids::kAudioMedia, StreamKind::audio},
    {asf::guids::kVideoMedia, StreamKind::video},
    {asf::guids::kCommandMedia, StreamKind::command},
    {asf::guids::kJfifMedia, StreamKind::jfif},
    {asf::guids::kDegradableJpegMedia, StreamKind::degradable_jpeg},
    {asf::guids::kFileTransferMedia, StreamKind::file_transfer},
    {asf::guids::kBinaryMedia, StreamKind::binary},
};

StreamKind kind_of(const asf::Guid& type) {
    for (const StreamKindRow& row : kStreamKinds) {
        if (row.type == type)
            return row.kind;
    }
    return StreamKind::other;
}

// A BITMAPINFOHEADER's signed size as a number of pixels: a negative height
// says the rows are stored top down.
std::uint32_t pixels(std::int32_t v) {
    return v < 0 ? 0u - static_cast<std::uint32_t>(v) : static_cast<std::uint32_t>(v);
}

// The Codec Specific Data of `size` bytes at `at`, already shown as bytes,
// field by field beside them when the format has a layout of that size.
void codec_specific_fields(FieldReader& r, std::uint16_t format_tag, std::int64_t at,
                           std::uint64_t size) {
    namespace cd = asf::codec_data;
    const cd::Layout* layout = cd::layout_of(format_tag, size);
    if (layout == nullptr || !r.shows_fields() || !r.ok())
        return;
    const std::int64_t after = r.position();
    r.seek(at);
    r.begin_group("Codec Specific Data Fields");
    for (const cd::Field& field : layout->fields) {
        switch (field.show) {
            case cd::Show::number:
                r.uint(field.name, field.width);
                break;
            case cd::Show::parts:
                r.flag_parts(field.name, field.width, field.parts);
                break;
            case cd::Show::flags:
                r.flags(field.name, field.width, field.names);
                break;
            case cd::Show::bytes:
                r.blob(field.name, static_cast<std::uint64_t>(field.width));
                break;
        }
    }
    r.end_group();
    r.seek(after);
}

// Each layout of type-specific data records the stream's format in `f`.
void waveformatex(FieldReader& r, StreamFormat& f) {
    const auto tag = r.enumerated("Format Tag", 2, format_tag_names());
    const auto channels = r.u16("Number of Channels");
    const auto rate = r.u32("Samples Per Second");
    const auto bytes_per_second = r.u32("Average Number of Bytes Per Second");
    r.u16("Block Alignment");
    const auto bits = r.u16("Bits Per Sample");
    f.format_tag = static_cast<std::uint16_t>(tag.value_or(0));
    f.channels = channels.value_or(0);
    f.sample_rate = rate.value_or(0);
    f.average_bytes_per_second = bytes_per_second.value_or(0);
    f.bits_per_sample = bits.value_or(0);
    const std::int64_t at = r.position();
    const auto cb_size = r.u16("Codec Specific Data Size");
    if (!cb_size)
        return;
    if (*cb_size > static_cast<std::uint64_t>(r.left())) {
        r.finding(Severity::error, codes::kCbSize,
                  message("Codec Specific Data Size ", *cb_size, " is more than the ", r.left(),
                          " bytes left of the type-specific data"),
                  at);
        r.blob("Codec Specific Data", static_cast<std::uint64_t>(r.left()));
        return;
    }
    const std::int64_t data_at = r.position();
    if (r.blob("Codec Specific Data", *cb_size))
        codec_specific_fields(r, f.format_tag, data_at, *cb_size);
}

void bitmapinfoheader(FieldReader& r, StreamFormat& f) {
    const auto size = r.u32("Format Data Size");
    const auto width = r.i32("Image Width");
    const auto height = r.i32("Image Height");
    r.u16("Reserved");
    r.u16("Bits Per Pixel Count");
    const auto fourcc = r.fourcc("Compression ID");
    if (width && height && fourcc) {
        f.bitmap = true;
        f.fourcc = *fourcc;
        f.width = pixels(*width);
        f.height = pixels(*height);
    }
    r.u32("Image Size");
    r.i32("Horizontal Pixels Per Meter");
    r.i32("Vertical Pixels Per Meter");
    r.u32("Colors Used Count");
    r.u32("Important Colors Count");
    if (!size)
        return;
    // Writers disagree on whether this size or the video format's own counts
    // the codec data; whatever is left of the format data is shown.
    r.blob("Codec Specific Data", static_cast<std::uint64_t>(r.left()));
}

void video_format(FieldReader& r, StreamFormat& f) {
    // Players take the size from the format data, when there is one.
    f.width = r.u32("Encoded Image Width").value_or(0);
    f.height = r.u32("Encoded Image Height").value_or(0);
    r.u8("Reserved Flags");
    const auto size = r.u16("Format Data Size");
    if (!size)
        return;
    if (*size < kBitmapInfoHeaderSize) {
        r.blob("Format Data", std::min<std::uint64_t>(*size, static_cast<std::uint64_t>(r.left())));
        return;
    }
    r.begin_group("Format Data");
    FieldReader bitmap(r, *size, "Format Data");
    bitmapinfoheader(bitmap, f);
    r.seek(bitmap.position());
    r.end_group();
    if (!bitmap.ok())
        r.seek(r.end());
}

void binary_format(FieldReader& r) {
    r.guid("Major Media Type");
    r.guid("Media Subtype");
    r.u32("Fixed-size Samples");
    r.u32("Temporal Compression");
    r.u32("Sample Size");
    r.guid("Format Type");
    const auto size = r.u32("Format Data Size");
    if (size)
        r.blob("Format Data", *size);
}

void jfif_format(FieldReader& r, StreamFormat& f) {
    f.width = r.u32("Image Width").value_or(0);
    f.height = r.u32("Image Height").value_or(0);
    r.u32("Reserved");
}

void degradable_jpeg_format(FieldReader& r, StreamFormat& f) {
    f.width = r.u32("Image Width").value_or(0);
    f.height = r.u32("Image Height").value_or(0);
    r.u16("Reserved1");
    r.u16("Reserved2");
    r.u16("Reserved3");
    const auto length = r.u16("Interchange Data Length");
    if (length)
        r.blob("Interchange Data", *length);
}

void type_specific_data(FieldReader& r, const asf::Guid& type, StreamFormat& f) {
    if (type == asf::guids::kAudioMedia) {
        waveformatex(r, f);
    } else if (type == asf::guids::kVideoMedia) {
        video_format(r, f);
    } else if (type == asf::guids::kBinaryMedia || type == asf::guids::kFileTransferMedia) {
        binary_format(r);
    } else if (type == asf::guids::kJfifMedia) {
        jfif_format(r, f);
    } else if (type == asf::guids::kDegradableJpegMedia) {
        degradable_jpeg_format(r, f);
    }
    if (r.ok() && r.left() > 0)
        r.blob("Remaining Data", static_cast<std::uint64_t>(r.left()));
}

void error_correction_data(FieldReader& r, const asf::Guid& type) {
    if (type == asf::guids::kAudioSpread) {
        r.u8("Span");
        r.u16("Virtual Packet Length");
        r.u16("Virtual Chunk Length");
        const auto silence = r.u16("Silence Data Length");
        if (silence)
            r.blob("Silence Data",
                   std::min<std::uint64_t>(*silence, static_cast<std::uint64_t>(r.left())));
    }
    if (r.ok() && r.left() > 0)
        r.blob("Remaining Data", static_cast<std::uint64_t>(r.left()));
}

// A structure of `length` bytes inside the object, decoded by `layout`.
template <typename Layout>
void nested(FieldReader& r, const Key& key, std::uint64_t length, Layout layout) {
    if (length == 0)
        return;
    r.begin_group(key);
    FieldReader part(r, length, key.label());
    layout(part);
    r.end_group();
    r.seek(r.position() + static_cast<std::int64_t>(std::min<std::uint64_t>(
                              length, static_cast<std::uint64_t>(r.left()))));
}

void stream_properties(FieldReader& r) {
    const std::int64_t object = r.start() - kObjectHeaderSize;
    const auto type = r.guid("Stream Type");
    const auto correction = r.guid("Error Correction Type");
    r.u64("Time Offset", Unit::hundred_nanoseconds);
    const auto type_length = r.u32("Type-Specific Data Length");
    const auto correction_length = r.u32("Error Correction Data Length");
    const std::int64_t flags_at = r.position();
    const auto flags = r.flags("Flags", 2, kStreamFlags);
    if (!flags)
        return;
    const std::uint16_t stream = static_cast<std::uint16_t>(*flags) & kStreamNumberMask;
    r.show_unsigned("Stream Number", stream);
    r.u32("Reserved");
    if (!r.ok())
        return;

    // The lengths stand before the flags in the object, and are reported first.
    const std::uint64_t declared = *type_length + std::uint64_t{*correction_length};
    const auto left = static_cast<std::uint64_t>(r.left());
    if (declared != left) {
        r.finding(Severity::error, codes::kStreamLengths,
                  message("Type-Specific Data Length ", *type_length,
                          " and Error Correction Data Length ", *correction_length, " add up to ",
                          declared, ", but the object holds ", left, " bytes after its ",
                          kStreamPropertiesFields, " bytes of fields"),
                  r.start() + 40);
    }
    Facts& facts = r.facts();
    ++facts.stream_properties_objects;
    check_stream_number(r, stream, flags_at);
    StreamFacts& s = facts.streams[stream];
    // The format of a stream declared again is read, and not kept.
    StreamFormat format;
    StreamFormat* kept = &format;
    if (stream != 0) {
        if (s.declared) {
            r.finding(Severity::error, codes::kDuplicateStream,
                      message("stream number ", stream, " is declared again (first at ",
                              Hex{static_cast<std::uint64_t>(s.offset)}, ")"),
                      flags_at);
        } else {
            s.declared = true;
            s.offset = object;
            s.kind = kind_of(*type);
            s.encrypted = (*flags & kEncryptedContent) != 0;
            facts.stream_order.push_back(static_cast<std::uint8_t>(stream));
            kept = &s.format;
        }
    }
    nested(r, "Type-Specific Data", *type_length,
           [&](FieldReader& part) { type_specific_data(part, *type, *kept); });
    nested(r, "Error Correction Data", *correction_length,
           [&](FieldReader& part) { error_correction_data(part, *correction); });
    r.seek(r.end());
}

void extended_stream_properties(FieldReader& r) {
    r.uint("Start Time", 8, Unit::milliseconds, asf::sentinels::kTimeNotSet);
    r.uint("End Time", 8, Unit::milliseconds, asf::sentinels::kTimeNotSet);
    const auto bitrate = r.u32("Data Bitrate");
    const auto buffer_size = r.u32("Buffer Size", Unit::milliseconds);
    const auto initial_fullness = r.u32("Initial Buffer Fullness", Unit::milliseconds);
    const auto alternate_bitrate = r.u32("Alternate Data Bitrate");
    const auto alternate_buffer_size = r.u32("Alternate Buffer Size", Unit::milliseconds);
    const auto alternate_fullness = r.u32("Alternate Initial Buffer Fullness", Unit::milliseconds);
    r.uint("Maximum Object Size", 4, Unit::none, asf::sentinels::kUnknownSize);
    r.flags("Flags", 4, kExtendedStreamFlags);
    const std::int64_t stream_at = r.position();
    const auto stream = r.u16("Stream Number");
    const std::int64_t language_at = r.position();
    const auto language = r.u16("Stream Language ID Index");
    const auto frame_time =
        r.uint("Average Time Per Frame", 8, Unit::hundred_nanoseconds,
               asf::sentinels::kAverageTimePerFrame, asf::sentinels::kAverageTimePerFrameBeyond);
    const auto names = r.u16("Stream Name Count");
    const auto systems = r.u16("Payload Extension System Count");
    if (!r.ok())
        return;
    Facts& facts = r.facts();
    check_stream_number(r, *stream, stream_at);
    check_stream_reference(r, StreamReference::extended_stream_properties, *stream, stream_at);
    check_language_index(r, *language, language_at);

    StreamFacts* s = *stream < kStreamNumbers ? &facts.streams[*stream] : nullptr;
    ExtendedStreamFacts* extended = nullptr;
    if (s != nullptr) {
        s->extended = true;
        s->buffer_size = buffer_size.value_or(0);
        s->extensions.clear();
        extended = &s->extended_properties;
        *extended = {};
        extended->data_bitrate = *bitrate;
        extended->initial_fullness = *initial_fullness;
        extended->alternate_bitrate = *alternate_bitrate;
        extended->alternate_buffer_size = *alternate_buffer_size;
        extended->alternate_initial_fullness = *alternate_fullness;
        extended->language_index = *language;
        extended->average_time_per_frame = *frame_time;
    }
    r.begin_list("Stream Names", "Stream Name");
    for (std::uint32_t i = 0; i < *names && r.ok(); ++i) {
        r.begin_item(i, r.position());
        const std::int64_t at = r.position();
        const auto index = r.u16("Language ID Index");
        const auto length = r.u16("Stream Name Length");
        // The first name is kept.
        KeptText* name = extended != nullptr && !extended->named ? &extended->name : nullptr;
        if (length && r.utf16_kept("Stream Name", *length, name) && name != nullptr)
            extended->named = true;
        if (index)
            check_language_index(r, *index, at);
        r.end_item();
    }
    r.end_list();

    r.begin_list("Payload Extension Systems", "Payload Extension System");
    for (std::uint32_t i = 0; i < *systems && r.ok(); ++i) {
        r.begin_item(i, r.position());
        const auto id = r.guid("Extension System ID");
        const std::int64_t size_at = r.position();
        const auto size =
            r.uint("Extension Data Size", 2, Unit::none, asf::sentinels::kExtensionDataSize);
        const asf::ExtensionKind* kind = id ? asf::extension_kind(*id) : nullptr;
        if (size && kind != nullptr && *size != kVariableExtensionSize && !kind->allows(*size)) {
            r.finding(Severity::warning, codes::kPayloadExtension,
                      message("Extension Data Size ", *size, " for a ", kind->name,
                              " extension, whose data ASF gives ", kind->least,
                              kind->least == kind->most ? " bytes" : " bytes or more",
                              "; its data is shown as bytes"),
                      size_at);
        }
        const auto info = r.u32("Extension System Info Length");
        if (info)
            r.blob("Extension System Info", *info);
        if (r.ok() && s != nullptr && s->extensions.size() < kMaxPayloadExtensions)
            s->extensions.push_back({*id, static_cast<std::uint16_t>(*size), kind});
        r.end_item();
    }
    r.end_list();
    // A Stream Properties Object may follow, for a stream declared only here.
    if (r.ok() && r.left() > 0)
        r.children(asf::Placement::header);
}

void stream_bitrate_properties(FieldReader& r) {
    const auto count = r.u16("Bitrate Records Count");
    if (!count)
        return;
    r.begin_list("Bitrate Records", "Bitrate Record");
    for (std::uint32_t i = 0; i < *count && r.ok(); ++i) {
        r.begin_item(i, r.position());
        const std::int64_t at = r.position();
        const auto flags = r.u16("Flags");
        if (flags) {
            const std::uint16_t stream = *flags & kStreamNumberMask;
            r.show_unsigned("Stream Number", stream);
            check_stream_number(r, stream, at);
            check_stream_reference(r, StreamReference::bitrate_record, stream, at);
        }
        const auto bitrate = r.u32("Average Bitrate");
        if (flags && bitrate) {
            StreamFacts& s = r.facts().streams[*flags & kStreamNumberMask];
            s.bitrate_declared = true;
            s.bitrate = *bitrate;
        }
        r.end_item();
    }
    r.end_list();
}

using T = asf::ObjectType;
constexpr LayoutRow kStreamLayouts[] = {
    {T::stream_properties, stream_properties},
    {T::extended_stream_properties, extended_stream_properties},
    {T::stream_bitrate_properties, stream_bitrate_properties},
};

}  // namespace

std::span<const LayoutRow> stream_layouts() {
    return kStreamLayouts;
}

}  // namespace asfinspect::decode::objects
