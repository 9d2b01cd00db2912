// Codec List, Script Command, Marker, the content descriptions, Content
// Branding, Metadata, Metadata Library, Language List and Compatibility.

#include <array>
#include <optional>
#include <string_view>

#include "asf/guid_registry.hpp"
#include "asf/pictures.hpp"
#include "decode/findings.hpp"
#include "decode/objects/shared.hpp"
#include "decode/text.hpp"

namespace asfinspect::decode::objects {

namespace {

// Lengths that count WCHARs (Codec List, Script Command, Marker) are turned
// into bytes.
constexpr std::uint64_t kWcharBytes = 2;

void reserved_guid(FieldReader& r, const asf::Guid& expected, std::string_view name) {
    const std::int64_t at = r.position();
    const auto reserved = r.guid("Reserved");
    if (reserved && *reserved != expected) {
        r.finding(Severity::warning, codes::kReservedValue, message("Reserved is not ", name), at);
    }
}

// ---------------------------------------------------------------------------
// Codec List

constexpr std::uint16_t kVideoCodec = CodecEntryFacts::kVideo;
constexpr std::uint16_t kAudioCodec = CodecEntryFacts::kAudio;
constexpr EnumName kCodecTypes[] = {
    {kVideoCodec, "Video"},
    {kAudioCodec, "Audio"},
    {0xFFFF, "Unknown"},
};
// Type and the three lengths, with nothing after them.
constexpr std::uint64_t kCodecEntryLeast = 8;
// Writers put an audio codec's format tag or a video codec's FourCC here.
constexpr std::uint16_t kFormatTagBytes = 2;
constexpr std::uint16_t kFourccBytes = 4;

// The codec's format tag or FourCC, when it names one.
std::optional<std::uint32_t> codec_information(FieldReader& r, std::uint64_t type,
                                               std::uint16_t length) {
    if (type == kAudioCodec && length == kFormatTagBytes) {
        const auto tag = r.enumerated("Codec Information", kFormatTagBytes, format_tag_names());
        return tag ? std::optional<std::uint32_t>(static_cast<std::uint32_t>(*tag)) : std::nullopt;
    }
    if (type == kVideoCodec && length == kFourccBytes)
        return r.fourcc("Codec Information");
    r.blob("Codec Information", length);
    return std::nullopt;
}

void codec_entry(FieldReader& r) {
    CodecEntryFacts* entry = r.facts().codec_entries.add();
    const auto type = r.enumerated("Type", 2, kCodecTypes);
    if (type && entry != nullptr)
        entry->type = static_cast<std::uint16_t>(*type);
    const auto name = r.u16("Codec Name Length");
    if (name)
        r.utf16_kept("Codec Name", *name * kWcharBytes, entry != nullptr ? &entry->name : nullptr);
    const auto description = r.u16("Codec Description Length");
    if (description) {
        r.utf16_kept("Codec Description", *description * kWcharBytes,
                     entry != nullptr ? &entry->description : nullptr);
    }
    const auto information = r.u16("Codec Information Length");
    if (type && information) {
        const auto id = codec_information(r, *type, *information);
        if (entry != nullptr && id) {
            entry->has_codec_id = true;
            entry->codec_id = *id;
        }
    }
}

// ---------------------------------------------------------------------------
// Script Command

// A Command Type Name Length; Presentation Time, Type Index and Command Name
// Length.
constexpr std::uint64_t kCommandTypeLeast = 2;
constexpr std::uint64_t kCommandLeast = 8;

// ---------------------------------------------------------------------------
// Marker

// Send Time, Flags and Marker Description Length: the bytes that Entry Length
// counts besides the description.
constexpr std::uint64_t kMarkerEntryFields = 12;
// Offset, Presentation Time and Entry Length, then those fields.
constexpr std::uint64_t kMarkerLeast = 18 + kMarkerEntryFields;

// The bytes of a marker's description. Its length counts WCHARs, but writers
// differ, and some count bytes; the Entry Length tells which.
std::uint64_t marker_description_bytes(FieldReader& r, std::uint16_t entry_length,
                                       std::uint32_t length, std::int64_t at) {
    const std::uint64_t in_wchars = std::uint64_t{length} * kWcharBytes;
    const bool described = entry_length >= kMarkerEntryFields;
    const std::uint64_t by_entry = described ? entry_length - kMarkerEntryFields : 0;
    if (described && by_entry == in_wchars)
        return in_wchars;
    if (described && by_entry == length) {
        r.finding(Severity::warning, codes::kEntryLength,
                  message("Marker Description Length ", length, " counts bytes, as Entry Length ",
                          entry_length, " shows; ASF counts WCHARs there"),
                  at);
        return length;
    }
    r.finding(
        Severity::warning, codes::kEntryLength,
        message("Entry Length ", entry_length, " is not ", kMarkerEntryFields,
                " bytes more than the ", in_wchars,
                " bytes of the description; the description is read as ", in_wchars, " bytes"),
        at);
    return in_wchars;
}

void marker_entry(FieldReader& r) {
    r.u64("Offset");
    r.u64("Presentation Time", Unit::hundred_nanoseconds);
    const std::int64_t entry_length_at = r.position();
    const auto entry_length = r.u16("Entry Length");
    r.u32("Send Time", Unit::milliseconds);
    r.u32("Flags");
    const auto length = r.u32("Marker Description Length");
    if (!r.ok())
        return;
    r.utf16("Marker Description",
            marker_description_bytes(r, *entry_length, *length, entry_length_at));
}

// ---------------------------------------------------------------------------
// Content Description

struct DescriptionText {
    Key length;
    Key text;
};

constexpr DescriptionText kDescriptionTexts[] = {
    {"Title Length", "Title"},         {"Author Length", "Author"},
    {"Copyright Length", "Copyright"}, {"Description Length", "Description"},
    {"Rating Length", "Rating"},
};

// ---------------------------------------------------------------------------
// Typed values of the Extended Content Description, Metadata and Metadata
// Library Objects

constexpr std::uint16_t kUnicodeString = 0;
constexpr std::uint16_t kByteArray = 1;
constexpr std::uint16_t kBool = 2;
constexpr std::uint16_t kDword = 3;
constexpr std::uint16_t kQword = 4;
constexpr std::uint16_t kWord = 5;
constexpr std::uint16_t kGuid = 6;

constexpr EnumName kDataTypes[] = {
    {kUnicodeString, "Unicode string"},
    {kByteArray, "BYTE array"},
    {kBool, "BOOL"},
    {kDword, "DWORD"},
    {kQword, "QWORD"},
    {kWord, "WORD"},
    {kGuid, "GUID"},
};

constexpr int kShortBoolBytes = 2;
constexpr int kLongBoolBytes = 4;
constexpr int kGuidBytes = 16;

// How an object stores typed values.
struct ValueRules {
    std::string_view object;
    int bool_bytes;
    bool holds_guids;
};

constexpr ValueRules kDescriptorValues{"the Extended Content Description Object", kLongBoolBytes,
                                       false};
constexpr ValueRules kMetadataValues{"the Metadata Object", kShortBoolBytes, false};
constexpr ValueRules kLibraryValues{"the Metadata Library Object", kShortBoolBytes, true};

// Values whose bytes have a layout of their own, known by their name.
enum class ValueLayout : std::uint8_t { plain, picture, leaky_bucket_pairs, filetime };

struct KnownValue {
    std::string_view name;
    std::uint16_t type;
    ValueLayout layout;
};

constexpr KnownValue kKnownValues[] = {
    {"WM/Picture", kByteArray, ValueLayout::picture},
    {"ASFLeakyBucketPairs", kByteArray, ValueLayout::leaky_bucket_pairs},
    {"WM/EncodingTime", kQword, ValueLayout::filetime},
};

const KnownValue* known_value(std::string_view name) {
    for (const KnownValue& k : kKnownValues) {
        if (k.name == name)
            return &k;
    }
    return nullptr;
}

ValueLayout value_layout_of(const KnownValue* known, std::uint64_t type) {
    return known != nullptr && known->type == type ? known->layout : ValueLayout::plain;
}

void picture(FieldReader& r) {
    PictureFacts* kept = r.facts().pictures.add();
    const auto type = r.enumerated("Picture Type", 1, asf::kPictureTypes);
    const auto length = r.u32("Picture Data Length");
    r.utf16_kept("MIME Type", r.terminated_utf16_length(),
                 kept != nullptr ? &kept->mime_type : nullptr);
    r.utf16_kept("Description", r.terminated_utf16_length(),
                 kept != nullptr ? &kept->description : nullptr);
    if (length)
        r.blob("Picture Data", *length);
    if (kept != nullptr) {
        kept->type = static_cast<std::uint8_t>(type.value_or(0));
        kept->size = length.value_or(0);
    }
    check_leftover(r);
}

// Bitrate and buffer window.
constexpr std::uint64_t kLeakyBucketPairBytes = 8;

void leaky_bucket_pairs(FieldReader& r) {
    r.u16("Reserved");
    r.begin_list("Leaky Bucket Pairs", "Leaky Bucket Pair");
    for (std::uint32_t i = 0;
         r.ok() && static_cast<std::uint64_t>(r.left()) >= kLeakyBucketPairBytes; ++i) {
        r.begin_item(i, r.position());
        const auto bitrate = r.u32("Bitrate");
        const auto window = r.u32("Buffer Window", Unit::milliseconds);
        r.end_item();
        if (!r.ok())
            break;
        // Kept for the views of delivery; ASF sets no rule for them to check.
        if (LeakyBucketPairFacts* pair = r.facts().leaky_bucket_pairs.add())
            *pair = {*bitrate, *window};
    }
    r.end_list();
    check_leftover(r);
}

// The width of a fixed-size type, or 0.
int width_of(std::uint64_t type, const ValueRules& rules) {
    switch (type) {
        case kBool:
            return rules.bool_bytes;
        case kDword:
            return 4;
        case kQword:
            return 8;
        case kWord:
            return 2;
        case kGuid:
            return kGuidBytes;
        default:
            return 0;
    }
}

// Each reader of a typed value records it in `tag` when that is not null.
void fixed_value(FieldReader& r, const Key& key, std::uint64_t type, int width, ValueLayout layout,
                 TagFacts* tag) {
    std::optional<std::uint64_t> number;
    TagFacts::Kind kind = TagFacts::Kind::number;
    switch (type) {
        case kBool:
            if (const auto v = r.boolean(key, width))
                number = *v ? 1 : 0;
            kind = TagFacts::Kind::boolean;
            break;
        case kDword:
            number = r.u32(key);
            break;
        case kQword:
            if (layout == ValueLayout::filetime) {
                number = r.date(key);
                kind = TagFacts::Kind::date;
            } else {
                number = r.u64(key);
            }
            break;
        case kWord:
            number = r.u16(key);
            break;
        default:
            if (const auto v = r.guid(key); v && tag != nullptr) {
                tag->kind = TagFacts::Kind::guid;
                tag->guid = *v;
            }
            return;
    }
    if (number && tag != nullptr) {
        tag->kind = kind;
        tag->number = *number;
    }
}

// A value kept as its length in bytes.
void byte_value(FieldReader& r, const Key& key, std::uint64_t length, TagFacts* tag) {
    if (r.blob(key, length) && tag != nullptr) {
        tag->kind = TagFacts::Kind::bytes;
        tag->number = length;
    }
}

// Decodes the value of `length` bytes as its type says, within `r`.
void value_by_type(FieldReader& r, const Key& key, std::uint64_t type, std::uint64_t length,
                   ValueLayout layout, const ValueRules& rules, TagFacts* tag) {
    if (type == kUnicodeString) {
        if (r.utf16_kept(key, length, tag != nullptr ? &tag->text : nullptr) && tag != nullptr)
            tag->kind = TagFacts::Kind::text;
        return;
    }
    if (type == kByteArray) {
        if (layout == ValueLayout::picture || layout == ValueLayout::leaky_bucket_pairs) {
            r.begin_group(key);
            if (layout == ValueLayout::picture) {
                picture(r);
            } else {
                leaky_bucket_pairs(r);
            }
            r.end_group();
            if (tag != nullptr) {
                tag->kind = TagFacts::Kind::bytes;
                tag->number = length;
            }
        } else {
            byte_value(r, key, length, tag);
        }
        return;
    }
    int width = width_of(type, rules);
    if (width == 0) {
        r.finding(Severity::warning, codes::kValueType,
                  message("Data Type ", type, " is none of ASF's; the value is shown as bytes"));
        byte_value(r, key, length, tag);
        return;
    }
    if (type == kGuid && !rules.holds_guids) {
        r.finding(Severity::warning, codes::kValueType,
                  message("a GUID value in ", rules.object,
                          "; ASF keeps GUID values to the Metadata Library Object"));
    }
    // Writers mix up the two sizes of BOOL; either is read.
    const bool other_bool =
        type == kBool && (length == kShortBoolBytes || length == kLongBoolBytes);
    if (length != static_cast<std::uint64_t>(width) && other_bool) {
        r.finding(Severity::warning, codes::kValueLength,
                  message("a BOOL value of ", length, " bytes in ", rules.object,
                          ", where ASF makes it ", width));
        width = static_cast<int>(length);
    }
    if (length != static_cast<std::uint64_t>(width)) {
        r.finding(Severity::warning, codes::kValueLength,
                  message("a ", name_of(type, kDataTypes), " value of ", length, " bytes, not ",
                          width, "; it is shown as bytes"));
        byte_value(r, key, length, tag);
        return;
    }
    fixed_value(r, key, type, width, layout, tag);
}

// A value of `length` bytes at the reader's position; the reader moves past
// it, whatever the value's own layout reads.
void typed_value(FieldReader& r, const Key& key, std::uint64_t type, std::uint64_t length,
                 ValueLayout layout, const ValueRules& rules, TagFacts* tag) {
    if (length > static_cast<std::uint64_t>(r.left())) {
        r.blob(key, length);  // reports the truncation
        return;
    }
    FieldReader value(r, length, key.label());
    value_by_type(value, key, type, length, layout, rules, tag);
    r.skip_part(value, length);
}

// A tag named `name` that the facts keep, or nullptr when they keep no more
// (it is counted) or when its value is a picture, which they keep apart.
TagFacts* new_tag(FieldReader& r, TagFacts::Source source, std::string_view name,
                  ValueLayout layout) {
    if (layout == ValueLayout::picture)
        return nullptr;
    TagFacts* tag = r.facts().tags.add();
    if (tag != nullptr) {
        tag->source = source;
        tag->name.keep(name);
    }
    return tag;
}

// Name length, data type and value length, with an empty name and value.
constexpr std::uint64_t kDescriptorLeast = 6;

void content_descriptor(FieldReader& r) {
    const auto name_length = r.u16("Descriptor Name Length");
    if (!name_length)
        return;
    const auto name = r.utf16_text("Descriptor Name", *name_length);
    const KnownValue* known = name ? known_value(*name) : nullptr;
    const auto type = r.enumerated("Descriptor Value Data Type", 2, kDataTypes);
    const auto length = r.u16("Descriptor Value Length");
    if (!type || !length)
        return;
    const ValueLayout layout = value_layout_of(known, *type);
    // The name is copied before the value's text takes its buffer.
    TagFacts* tag = new_tag(r, TagFacts::Source::extended_content_description, *name, layout);
    typed_value(r, "Descriptor Value", *type, *length, layout, kDescriptorValues, tag);
}

// The fixed part of a Metadata or Metadata Library record.
constexpr std::uint64_t kDescriptionRecordLeast = 12;

// Checks a record's stream number, 0 naming the whole file.
void record_stream(FieldReader& r, std::uint16_t stream, StreamReference kind, std::int64_t at) {
    if (stream == 0)
        return;
    check_stream_number(r, stream, at);
    check_stream_reference(r, kind, stream, at);
}

void description_record(FieldReader& r, const ValueRules& rules) {
    const bool library = rules.holds_guids;
    const std::int64_t first_at = r.position();
    const auto first = library ? r.u16("Language List Index") : r.u16("Reserved");
    const std::int64_t stream_at = r.position();
    const auto stream = r.u16("Stream Number");
    const auto name_length = r.u16("Name Length");
    const auto type = r.enumerated("Data Type", 2, kDataTypes);
    const auto length = r.u32("Data Length");
    if (!r.ok())
        return;
    if (library) {
        check_language_index(r, *first, first_at);
    } else if (*first != 0) {
        r.finding(Severity::warning, codes::kReservedValue,
                  message("Reserved is ", *first, ", not 0"), first_at);
    }
    record_stream(
        r, *stream,
        library ? StreamReference::metadata_library_record : StreamReference::metadata_record,
        stream_at);
    const auto name = r.utf16_text("Name", *name_length);
    if (!name)
        return;
    const ValueLayout layout = value_layout_of(known_value(*name), *type);
    TagFacts* tag =
        new_tag(r, library ? TagFacts::Source::metadata_library : TagFacts::Source::metadata, *name,
                layout);
    if (tag != nullptr) {
        tag->stream = *stream;
        tag->language_index = library ? *first : 0;
    }
    typed_value(r, "Data", *type, *length, layout, rules, tag);
}

void description_records(FieldReader& r, const ValueRules& rules) {
    const std::int64_t count_at = r.position();
    const auto count = r.u16("Description Records Count");
    if (!count)
        return;
    check_record_count(r, "Description Records Count", *count, kDescriptionRecordLeast, count_at);
    r.begin_list("Description Records", "Description Record");
    for (std::uint32_t i = 0; i < *count && r.ok(); ++i) {
        r.begin_item(i, r.position());
        description_record(r, rules);
        r.end_item();
    }
    r.end_list();
    check_leftover(r);
}

// ---------------------------------------------------------------------------
// Content Branding

constexpr EnumName kBannerImageTypes[] = {
    {0, "None"},
    {1, "Bitmap"},
    {2, "JPEG"},
    {3, "GIF"},
};

// ---------------------------------------------------------------------------
// Compatibility

constexpr std::uint8_t kCompatibilityProfile = 2;
constexpr std::uint8_t kCompatibilityMode = 1;

void reserved_byte(FieldReader& r, const Key& key, std::uint8_t expected) {
    const std::int64_t at = r.position();
    const auto v = r.u8(key);
    if (v && *v != expected) {
        r.finding(Severity::warning, codes::kReservedValue,
                  message(key.label(), " is ", *v, ", not ", expected), at);
    }
}

void codec_list(FieldReader& r) {
    reserved_guid(r, asf::guids::kReserved2, "ASF_Reserved_2");
    const std::int64_t count_at = r.position();
    const auto count = r.u32("Codec Entries Count");
    if (!count)
        return;
    check_record_count(r, "Codec Entries Count", *count, kCodecEntryLeast, count_at);
    r.begin_list("Codec Entries", "Codec Entry");
    for (std::uint32_t i = 0; i < *count && r.ok(); ++i) {
        r.begin_item(i, r.position());
        codec_entry(r);
        r.end_item();
    }
    r.end_list();
    check_leftover(r);
}

void script_command(FieldReader& r) {
    reserved_guid(r, asf::guids::kReserved3, "ASF_Reserved_3");
    const std::int64_t commands_at = r.position();
    const auto commands = r.u16("Commands Count");
    const std::int64_t types_at = r.position();
    const auto types = r.u16("Command Types Count");
    if (!r.ok())
        return;
    check_record_count(r, "Command Types Count", *types, kCommandTypeLeast, types_at);
    r.begin_list("Command Types", "Command Type");
    for (std::uint32_t i = 0; i < *types && r.ok(); ++i) {
        r.begin_item(i, r.position());
        const auto length = r.u16("Command Type Name Length");
        if (length)
            r.utf16("Command Type Name", *length * kWcharBytes);
        r.end_item();
    }
    r.end_list();
    check_record_count(r, "Commands Count", *commands, kCommandLeast, commands_at);
    r.begin_list("Commands", "Command");
    for (std::uint32_t i = 0; i < *commands && r.ok(); ++i) {
        r.begin_item(i, r.position());
        r.u32("Presentation Time", Unit::milliseconds);
        const std::int64_t index_at = r.position();
        const auto index = r.u16("Type Index");
        const auto length = r.u16("Command Name Length");
        if (length)
            r.utf16("Command Name", *length * kWcharBytes);
        if (index && *index >= *types) {
            r.finding(Severity::error, codes::kRecordIndex,
                      message("Type Index ", *index, " is past the ", *types, " Command Types"),
                      index_at);
        }
        r.end_item();
    }
    r.end_list();
    check_leftover(r);
}

void marker(FieldReader& r) {
    ++r.facts().marker_objects;
    reserved_guid(r, asf::guids::kReserved4, "ASF_Reserved_4");
    const std::int64_t count_at = r.position();
    const auto count = r.u32("Markers Count");
    r.u16("Reserved");
    const auto name = r.u16("Name Length");
    if (!r.ok())
        return;
    r.utf16("Name", *name);
    check_record_count(r, "Markers Count", *count, kMarkerLeast, count_at);
    r.begin_list("Markers", "Marker");
    for (std::uint32_t i = 0; i < *count && r.ok(); ++i) {
        r.begin_item(i, r.position());
        marker_entry(r);
        r.end_item();
    }
    r.end_list();
    check_leftover(r);
}

void content_description(FieldReader& r) {
    std::array<std::uint16_t, std::size(kDescriptionTexts)> lengths{};
    for (std::size_t i = 0; i < lengths.size(); ++i)
        lengths[i] = r.u16(kDescriptionTexts[i].length).value_or(0);
    // A length of 0 means the text is absent; the others are tags named as
    // their fields.
    for (std::size_t i = 0; i < lengths.size(); ++i) {
        if (lengths[i] == 0)
            continue;
        const Key& key = kDescriptionTexts[i].text;
        TagFacts* tag =
            new_tag(r, TagFacts::Source::content_description, key.label(), ValueLayout::plain);
        if (r.utf16_kept(key, lengths[i], tag != nullptr ? &tag->text : nullptr) && tag != nullptr)
            tag->kind = TagFacts::Kind::text;
    }
    check_leftover(r);
}

void extended_content_description(FieldReader& r) {
    const std::int64_t count_at = r.position();
    const auto count = r.u16("Content Descriptors Count");
    if (!count)
        return;
    check_record_count(r, "Content Descriptors Count", *count, kDescriptorLeast, count_at);
    r.begin_list("Content Descriptors", "Content Descriptor");
    for (std::uint32_t i = 0; i < *count && r.ok(); ++i) {
        r.begin_item(i, r.position());
        content_descriptor(r);
        r.end_item();
    }
    r.end_list();
    check_leftover(r);
}

void content_branding(FieldReader& r) {
    r.enumerated("Banner Image Type", 4, kBannerImageTypes);
    const auto image = r.u32("Banner Image Data Size");
    if (image)
        r.blob("Banner Image Data", *image);
    const auto banner_url = r.u32("Banner Image URL Length");
    if (banner_url)
        r.ascii("Banner Image URL", *banner_url);
    const auto copyright_url = r.u32("Copyright URL Length");
    if (copyright_url)
        r.ascii("Copyright URL", *copyright_url);
    check_leftover(r);
}

void metadata(FieldReader& r) {
    description_records(r, kMetadataValues);
}

void metadata_library(FieldReader& r) {
    description_records(r, kLibraryValues);
}

void language_list(FieldReader& r) {
    Facts& facts = r.facts();
    facts.language_list_seen = true;
    const std::int64_t count_at = r.position();
    const auto count = r.u16("Language ID Records Count");
    if (!count)
        return;
    // A record is at least its length byte.
    check_record_count(r, "Language ID Records Count", *count, 1, count_at);
    r.begin_list("Language ID Records", "Language ID Record");
    facts.language_ids.clear();
    std::uint32_t whole = 0;
    for (std::uint32_t i = 0; i < *count && r.ok(); ++i) {
        r.begin_item(i, r.position());
        // The ID of record i is kept at i.
        KeptText* id = facts.language_ids.add();
        const auto length = r.u8("Language ID Length");
        if (length)
            r.utf16_kept("Language ID", *length, id);
        if (r.ok())
            ++whole;
        r.end_item();
    }
    r.end_list();
    // Language indexes are checked against the records that are there.
    facts.languages = whole;
    check_leftover(r);
}

void compatibility(FieldReader& r) {
    reserved_byte(r, "Profile", kCompatibilityProfile);
    reserved_byte(r, "Mode", kCompatibilityMode);
    check_leftover(r);
}

using T = asf::ObjectType;
constexpr LayoutRow kDescriptionLayouts[] = {
    {T::codec_list, codec_list},
    {T::script_command, script_command},
    {T::marker, marker},
    {T::content_description, content_description},
    {T::extended_content_description, extended_content_description},
    {T::content_branding, content_branding},
    {T::metadata, metadata},
    {T::metadata_library, metadata_library},
    {T::language_list, language_list},
    {T::compatibility, compatibility},
};

}  // namespace

std::span<const LayoutRow> description_layouts() {
    return kDescriptionLayouts;
}

}  // namespace asfinspect::decode::objects
