#include "decode/decoder.hpp"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>

#include "asf/object_layouts.hpp"
#include "decode/field_reader.hpp"
#include "decode/findings.hpp"
#include "decode/key_frames.hpp"
#include "decode/packets.hpp"
#include "decode/text.hpp"
#include "io/le.hpp"

namespace asfinspect::decode {

namespace {

constexpr std::size_t kSizeFieldOffset = 16;
constexpr std::int64_t kDataObjectHeadSize = 50;  // object header, File ID, count, reserved

std::int64_t saturating_add(std::int64_t a, std::int64_t b) {
    std::int64_t sum = 0;
    if (__builtin_add_overflow(a, b, &sum))
        return std::numeric_limits<std::int64_t>::max();
    return sum;
}

std::string_view name_or_unknown(const ObjectHead& head) {
    return head.known != nullptr ? head.known->name : std::string_view("an unknown object");
}

std::string_view where_name(asf::Placement where) {
    switch (where) {
        case asf::Placement::top_level:
            return "the top level";
        case asf::Placement::header:
            return "the Header Object";
        case asf::Placement::header_extension:
            return "the Header Extension Object";
        case asf::Placement::header_or_extension:
        case asf::Placement::value:
            break;
    }
    return "an object";
}

std::uint64_t to_u64(std::int64_t v) {
    return static_cast<std::uint64_t>(v);
}

}  // namespace

void decode_file(io::FileReader& file, View& view, std::string_view path,
                 const DecodeOptions& options) {
    Decoder decoder(file, view, options);
    decoder.decode(path);
}

Decoder::Decoder(io::FileReader& file, View& view, const DecodeOptions& options)
    : file_(file), view_(view), options_(options) {}

Decoder::~Decoder() = default;

KeyFrameProbe& Decoder::key_frame_probe() {
    if (key_frame_probe_ == nullptr)
        key_frame_probe_ = std::make_unique<KeyFrameProbe>(*this);
    return *key_frame_probe_;
}

void Decoder::decode(std::string_view path) {
    view_.begin_file(path, file_.size());
    walk(0, file_.size(), asf::Placement::top_level, 0);
    finish_file();
    view_.end_file(FileSummary{facts_.data.decoded});
}

void Decoder::report(std::int64_t offset, Severity severity, std::string_view code,
                     std::string_view text) {
    view_.finding(Finding{offset, severity, code, text});
}

ObjectHead Decoder::read_head(std::int64_t offset) {
    std::array<std::uint8_t, kObjectHeaderSize> raw{};
    file_.read_at(offset, raw);
    ObjectHead head;
    head.offset = offset;
    std::copy_n(raw.begin(), head.guid.bytes.size(), head.guid.bytes.begin());
    head.size = io::le64s(raw, kSizeFieldOffset);
    head.known = asf::find_guid(head.guid);
    return head;
}

std::uint32_t Decoder::walk(std::int64_t start, std::int64_t end, asf::Placement where, int depth) {
    std::uint32_t count = 0;
    // Each pass decodes one object and moves past it, or ends the run.
    for (std::int64_t position = start; position < end && !file_.failed();) {
        if (end - position < kObjectHeaderSize) {
            report(position, Severity::error, codes::kTrailingData,
                   message(end - position, " bytes after the last object of ", where_name(where),
                           " are too few to be an object"));
            break;
        }
        if (!file_.holds(position, kObjectHeaderSize)) {
            report(position, Severity::error, codes::kTruncatedFile,
                   message("the file ends inside the header of an object, ",
                           file_.size() - position, " bytes into its 24"));
            break;
        }
        const ObjectHead head = read_head(position);
        ++count;
        if (where == asf::Placement::top_level && count == 1 &&
            (head.known == nullptr || head.known->object != asf::ObjectType::header)) {
            report(position, Severity::error, codes::kFirstObject,
                   message("the file begins with ", name_or_unknown(head),
                           ", not with ASF_Header_Object"));
        }
        if (head.size < kObjectHeaderSize) {
            view_.begin_object(head);
            report(position, Severity::error, codes::kObjectSize,
                   message("object size ", head.size,
                           " is below the 24 bytes of its header; the objects after it can't be "
                           "found"));
            view_.end_object();
            break;
        }
        std::int64_t object_end = saturating_add(position, head.size);
        if (object_end > end) {
            if (where == asf::Placement::top_level) {
                report(position, Severity::error, codes::kTruncatedFile,
                       message("the object reaches ", object_end - end,
                               " bytes past the end of the file: the file is cut short"));
            } else {
                report(position, Severity::error, codes::kPastParent,
                       message("the object reaches ", object_end - end,
                               " bytes past the end of its parent"));
            }
            object_end = end;
        }
        position = decode_object(head, object_end, where, depth);
    }
    return count;
}

bool Decoder::placed_well(const ObjectHead& head, asf::Placement where) {
    if (head.known == nullptr)
        return true;
    const asf::Placement home = head.known->placement;
    const bool in_header_levels =
        where == asf::Placement::header || where == asf::Placement::header_extension;
    if (home == asf::Placement::top_level) {
        if (where == asf::Placement::top_level)
            return true;
        const bool compatibility_misprint = where == asf::Placement::header_extension &&
                                            head.known->object == asf::ObjectType::header;
        report(head.offset, Severity::error, codes::kPlacement,
               message(head.known->name, " inside ", where_name(where),
                       compatibility_misprint
                           ? " (a misprint of the Compatibility Object's GUID has this value); "
                             "skipped"
                           : "; it belongs at the top level and is skipped"));
        return false;
    }
    // ASF allows any header object in the Header Extension too.
    const bool fits = home == asf::Placement::header_or_extension
                          ? in_header_levels
                          : (home == where || (home == asf::Placement::header &&
                                               where == asf::Placement::header_extension));
    if (!fits) {
        report(head.offset, Severity::error, codes::kPlacement,
               message(head.known->name, " at ", where_name(where), "; it belongs in ",
                       where_name(home == asf::Placement::header_extension
                                      ? asf::Placement::header_extension
                                      : asf::Placement::header)));
    }
    return true;
}

std::int64_t Decoder::decode_object(const ObjectHead& head, std::int64_t end, asf::Placement where,
                                    int depth) {
    view_.begin_object(head);
    std::int64_t next = end;
    const asf::ObjectType type =
        head.known != nullptr ? head.known->object : asf::ObjectType::unknown;
    if (!placed_well(head, where)) {
        // listed, not decoded
    } else if (depth >= kMaxObjectDepth) {
        report(head.offset, Severity::error, codes::kNesting,
               message("objects nested ", depth, " deep; the contents of this one are skipped"));
    } else if (type == asf::ObjectType::data) {
        next = decode_data_object(head, end, depth);
    } else if (const asf::ObjectLayout layout = asf::layout_of(type)) {
        if (type == asf::ObjectType::header) {
            if (facts_.header_seen) {
                report(head.offset, Severity::error, codes::kDuplicateObject,
                       "a second ASF_Header_Object");
            }
            facts_.header_seen = true;
        }
        FieldReader r(*this, head.offset + kObjectHeaderSize, end, depth);
        layout(r);
        if (type == asf::ObjectType::header)
            finish_header(head.offset);
    }
    view_.end_object();
    return next;
}

void Decoder::finish_header(std::int64_t offset) {
    const auto missing = [&](std::string_view name) {
        report(offset, Severity::error, codes::kMissingObject,
               message("the Header Object holds no ", name));
    };
    if (!facts_.file_properties.present)
        missing("ASF_File_Properties_Object");
    if (facts_.stream_properties_objects == 0)
        missing("ASF_Stream_Properties_Object");
    if (!facts_.header_extension_seen)
        missing("ASF_Header_Extension_Object");

    static constexpr std::array<std::string_view, static_cast<std::size_t>(StreamReference::count)>
        kWhat{"a Stream Bitrate Properties record",
              "an Extended Stream Properties Object",
              "a Metadata record",
              "a Metadata Library record",
              "a mutual exclusion record",
              "a Stream Prioritization record",
              "a Bandwidth Sharing record",
              "an index specifier"};
    for (std::size_t kind = 0; kind < facts_.references.size(); ++kind) {
        for (std::size_t stream = 1; stream < kStreamNumbers; ++stream) {
            const std::int64_t at = facts_.references[kind][stream];
            if (at != 0 && !facts_.streams[stream].declared) {
                report(at, Severity::error, codes::kUndeclaredStream,
                       message(kWhat[kind], " names stream ", stream,
                               ", which no Stream Properties Object declares"));
            }
        }
    }
    // Encoders write language indexes without a Language List, and players
    // ignore them then; an index past a list that is there is an error.
    if (facts_.highest_language_index_offset >= 0 &&
        facts_.highest_language_index >= facts_.languages) {
        if (facts_.language_list_seen) {
            report(facts_.highest_language_index_offset, Severity::error, codes::kLanguageIndex,
                   message("language index ", facts_.highest_language_index,
                           " is past the Language List's ", facts_.languages, " entries"));
        } else {
            report(facts_.highest_language_index_offset, Severity::warning, codes::kLanguageIndex,
                   message("language index ", facts_.highest_language_index,
                           ", but the file has no Language List Object (players ignore it)"));
        }
    }
    const FilePropertiesFacts& fp = facts_.file_properties;
    constexpr std::uint64_t kTicksPerMillisecond = 10'000;
    if (fp.present && !fp.broadcast() &&
        fp.preroll <= std::numeric_limits<std::uint64_t>::max() / kTicksPerMillisecond &&
        fp.play_duration < fp.preroll * kTicksPerMillisecond) {
        report(fp.offset, Severity::error, codes::kPlayDuration,
               message("Play Duration ", fp.play_duration, " (100 ns) is below the Preroll of ",
                       fp.preroll, " ms"));
    }
}

std::int64_t Decoder::decode_data_object(const ObjectHead& head, std::int64_t end, int depth) {
    if (facts_.data.present) {
        report(head.offset, Severity::error, codes::kDuplicateObject, "a second ASF_Data_Object");
    }
    FieldReader r(*this, head.offset + kObjectHeaderSize, end, depth);
    asf::decode_data_object_head(r);
    if (!r.ok())
        return end;
    DataFacts& data = facts_.data;
    data.present = true;
    data.offset = head.offset;
    data.size = head.size;
    data.first_packet = head.offset + kDataObjectHeadSize;
    PacketDecoder packets(*this);
    return std::max(end, packets.decode_all());
}

void Decoder::finish_file() {
    if (file_.failed()) {
        report(0, Severity::error, codes::kReadError,
               file_.changed()
                   ? message("the file shrank while it was read; the decode stops where it "
                             "found bytes missing")
                   : message("reading the file failed (", std::strerror(file_.error()),
                             "); the decode stops where it did"));
        return;
    }
    if (file_.size() == 0) {
        report(0, Severity::error, codes::kMissingObject, "the file is empty");
        return;
    }
    if (!facts_.header_seen)
        report(0, Severity::error, codes::kMissingObject, "the file has no ASF_Header_Object");
    if (!facts_.data.present)
        report(0, Severity::error, codes::kMissingObject, "the file has no ASF_Data_Object");
    const FilePropertiesFacts& fp = facts_.file_properties;
    if (fp.present && !fp.broadcast() && fp.file_size != to_u64(file_.size())) {
        report(fp.offset, Severity::error, codes::kFileSize,
               fp.file_size > to_u64(file_.size())
                   ? message("File Size is ", fp.file_size, " but the file holds ", file_.size(),
                             " bytes: ", fp.file_size - to_u64(file_.size()), " are missing")
                   : message("File Size is ", fp.file_size, " but the file holds ", file_.size(),
                             " bytes"));
    }
}

}  // namespace asfinspect::decode
