#include "decode/decoder.hpp"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>

#include "asf/object_format.hpp"
#include "decode/field_reader.hpp"
#include "decode/findings.hpp"
#include "decode/objects/objects.hpp"
#include "decode/packets/key_frames.hpp"
#include "decode/packets/packets.hpp"
#include "decode/text.hpp"
#include "io/error_text.hpp"
#include "io/le.hpp"
#include "io/saturating.hpp"
#include "io/zeros.hpp"

namespace asfinspect::decode {

namespace {

using asf::object_format::kDataObjectHeadSize;
using asf::object_format::kSizeFieldOffset;
using io::saturating_add;
// Bytes that are no object are searched this far for the next object.
constexpr std::int64_t kMaxStrayBytes = std::int64_t{64} << 20;
constexpr std::size_t kScanChunk = 1 << 16;
// The first bytes a not-ASF finding shows.
constexpr std::size_t kShownLeadBytes = 16;

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

// Whether an object of this kind belongs at `where`. ASF allows any header
// object in the Header Extension too.
bool belongs(const asf::GuidInfo& known, asf::Placement where) {
    switch (known.placement) {
        case asf::Placement::value:
            return false;
        case asf::Placement::top_level:
            return where == asf::Placement::top_level;
        case asf::Placement::header:
            return where == asf::Placement::header || where == asf::Placement::header_extension;
        case asf::Placement::header_extension:
            return where == asf::Placement::header_extension;
        case asf::Placement::header_or_extension:
            break;
    }
    return where == asf::Placement::header || where == asf::Placement::header_extension;
}

// "00 00 00 20 66 74 79 70 (\"... ftyp\")": bytes in hex, then as ASCII.
std::string lead_bytes(io::Bytes bytes) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string text;
    std::string ascii;
    for (const std::uint8_t b : bytes) {
        text += kHex[b >> 4];
        text += kHex[b & 0xf];
        text += ' ';
        ascii += b >= 0x20 && b < 0x7f ? static_cast<char>(b) : '.';
    }
    return message(text, "(\"", ascii, "\")");
}

// Where the first object that `accept` takes (its GUID known, its size, its
// offset) starts in [from, last], or -1; read a chunk at a time into
// `chunk`, up to a read error.
template <typename Accept>
std::int64_t scan_for_object(io::FileReader& file, std::int64_t from, std::int64_t last,
                             std::vector<std::uint8_t>& chunk, Accept accept) {
    chunk.resize(kScanChunk + kObjectHeaderSize);
    // Each pass looks at the objects that could start in one chunk.
    for (std::int64_t at = from; at <= last && !file.failed();
         at += static_cast<std::int64_t>(kScanChunk)) {
        file.read_at(at, chunk);
        const auto starts = static_cast<std::size_t>(
            std::min<std::int64_t>(last - at + 1, static_cast<std::int64_t>(kScanChunk)));
        for (std::size_t i = 0; i < starts; ++i) {
            if (!asf::may_start_object_guid(chunk[i], chunk[i + 1]))
                continue;
            asf::Guid guid;
            std::copy_n(chunk.begin() + static_cast<std::ptrdiff_t>(i), guid.bytes.size(),
                        guid.bytes.begin());
            const asf::GuidInfo* known = asf::find_guid(guid);
            const std::int64_t start = at + static_cast<std::int64_t>(i);
            if (known != nullptr && accept(*known, io::le64s(chunk, i + kSizeFieldOffset), start))
                return start;
        }
    }
    return -1;
}

}  // namespace

std::int64_t find_top_level_object(io::FileReader& file, asf::ObjectType type, std::int64_t from) {
    std::vector<std::uint8_t> chunk;
    return scan_for_object(file, std::max<std::int64_t>(from, 0), file.size() - kObjectHeaderSize,
                           chunk, [&](const asf::GuidInfo& known, std::int64_t size, std::int64_t) {
                               return known.object == type && size >= kObjectHeaderSize;
                           });
}

void decode_file(io::FileReader& file, View& view, FindingSink& findings, std::string_view path,
                 const DecodeOptions& options) {
    Decoder decoder(file, view, findings, options);
    decoder.decode(path);
}

Decoder::Decoder(io::FileReader& file, View& view, FindingSink& findings,
                 const DecodeOptions& options)
    : Context(file, view, findings, options) {}

Decoder::~Decoder() = default;

KeyFrameProbe& Decoder::key_frame_probe() {
    if (key_frame_probe_ == nullptr)
        key_frame_probe_ = std::make_unique<KeyFrameProbe>(*this);
    return *key_frame_probe_;
}

void Decoder::decode(std::string_view path) {
    view_.begin_file(path, file_.size());
    if (begins_with_an_object()) {
        walk(0, file_.size(), asf::Placement::top_level, 0);
        finish_file();
    }
    view_.end_file(FileSummary{facts_.data.decoded, &facts_});
}

// A file that doesn't begin with an ASF object (an MP4 renamed .wmv, say) is
// said to be no ASF file at once, rather than read as objects of absurd sizes.
bool Decoder::begins_with_an_object() {
    std::array<std::uint8_t, kShownLeadBytes> lead{};
    const std::size_t n = file_.read_at(0, lead);
    if (n == 0 || stopped())
        return true;  // an empty file, or one that can't be read: said when the walk ends
    asf::Guid guid;
    std::copy_n(lead.begin(), guid.bytes.size(), guid.bytes.begin());
    const asf::GuidInfo* known = asf::find_guid(guid);
    if (n == lead.size() && known != nullptr && known->placement != asf::Placement::value)
        return true;
    report(0, Severity::error, codes::kNotAsf,
           message("not an ASF file: it begins with ", lead_bytes(io::Bytes(lead).first(n)),
                   ", not with the Header Object's GUID"));
    return false;
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

std::int64_t Decoder::next_object(std::int64_t from, std::int64_t end, asf::Placement where) {
    if (stopped())
        return -1;
    const std::int64_t last =
        std::min(end - kObjectHeaderSize, saturating_add(from, kMaxStrayBytes));
    return scan_for_object(file_, from, last, bytes_,
                           [&](const asf::GuidInfo& known, std::int64_t size, std::int64_t start) {
                               // Inside a parent, the object must fit it; at the top level it may
                               // be cut short by the end of the file.
                               return belongs(known, where) && size >= kObjectHeaderSize &&
                                      (where == asf::Placement::top_level || size <= end - start);
                           });
}

std::uint32_t Decoder::walk(std::int64_t start, std::int64_t end, asf::Placement where, int depth) {
    const bool top = where == asf::Placement::top_level;
    std::uint32_t count = 0;
    bool regular = true;  // the walk goes on to the end
    bool stray = false;   // bytes that are no object were skipped
    std::int64_t position = start;
    // Each pass decodes one object and moves past it, or ends the walk.
    for (; position < end && regular && !stopped();) {
        if (top && io::zeros_end(file_, position, end) == end) {
            report_zeros_after_objects(position, end);
            regular = false;
            break;
        }
        if (end - position < kObjectHeaderSize) {
            const std::string text = message(end - position, " bytes after the last object of ",
                                             where_name(where), " are too few to be an object");
            if (top) {
                report_extent(position, codes::kTrailingData, text);
            } else {
                report(position, Severity::error, codes::kTrailingData, text);
            }
            regular = false;
            break;
        }
        if (!file_.holds(position, kObjectHeaderSize)) {
            report_extent(position, codes::kTruncatedFile,
                          message("the file ends inside the header of an object, ",
                                  file_.size() - position, " bytes into its 24"));
            regular = false;
            break;
        }
        const ObjectHead head = read_head(position);
        if (stopped())
            break;
        const std::int64_t declared_end =
            saturating_add(position, std::max<std::int64_t>(head.size, 0));
        // An unknown GUID with a size no object can have is no object: when a
        // known object follows within the parent, the walk goes on from it.
        if (head.known == nullptr && (head.size < kObjectHeaderSize || declared_end > end)) {
            const std::int64_t next = next_object(position + 1, end, where);
            if (next >= 0) {
                report(position, Severity::warning, codes::kStrayBytes,
                       message(next - position, " bytes at ", Hex{to_u64(position)},
                               " are not an object (their size field says ", head.size, "); ",
                               name_or_unknown(read_head(next)), " follows at ", Hex{to_u64(next)},
                               ", and the decode goes on from there"));
                stray = true;
                position = next;
                continue;
            }
        }
        ++count;
        if (top && count == 1 &&
            (head.known == nullptr || head.known->object != asf::ObjectType::header)) {
            report(position, Severity::error, codes::kFirstObject,
                   message("the file begins with ", name_or_unknown(head),
                           ", not with ASF_Header_Object"));
        }
        if (head.size < kObjectHeaderSize) {
            view_.begin_object(head);
            report(position, Severity::error, codes::kObjectSize,
                   message(head.known == nullptr ? "not an object: its size field says "
                                                 : "object size ",
                           head.size,
                           ", below the 24 bytes of an object's header; the objects after it "
                           "can't be found"));
            view_.end_object();
            regular = false;
            break;
        }
        if (where == asf::Placement::header && head.known != nullptr &&
            head.known->object == asf::ObjectType::padding) {
            ++facts_.padding_objects_in_header;
        }
        std::int64_t object_end = declared_end;
        const bool past_file_end = top && object_end > end;
        if (object_end > end) {
            const std::string_view what =
                head.known == nullptr ? std::string_view("not an object, or one cut short: it")
                                      : std::string_view("the object");
            if (!top) {
                report(position, Severity::error, codes::kPastParent,
                       message(what, " reaches ", object_end - end,
                               " bytes past the end of its parent"));
            } else if (head.known == nullptr || head.known->object != asf::ObjectType::data) {
                // The Data Object says how many of its packets are missing.
                report_extent(position, codes::kTruncatedFile,
                              message("the file is cut short: ", what, " reaches ",
                                      object_end - end, " bytes past its end"));
            }
            object_end = end;
            regular = !top;
        }
        position = decode_object(head, object_end, where, depth, past_file_end);
    }
    if (top)
        facts_.objects_tile_file = regular && !stray && position == end && !facts_.extent_reported;
    return count;
}

// Zero bytes up to the end of the file, as a capture that preallocated its
// file leaves: no object, and nothing players read.
void Decoder::report_zeros_after_objects(std::int64_t from, std::int64_t end) {
    report_extent(from, codes::kTrailingZeros,
                  message(end - from,
                          " zero bytes after the last object, up to the end of the file: what a "
                          "capture that preallocated its file leaves; players skip them"),
                  Severity::warning);
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
                                    int depth, bool past_file_end) {
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
        next = decode_data_object(head, end, depth, past_file_end);
    } else if (const objects::ObjectLayout layout = objects::layout_of(type)) {
        if (type == asf::ObjectType::header) {
            if (facts_.header_seen) {
                report(head.offset, Severity::error, codes::kDuplicateObject,
                       "a second ASF_Header_Object");
            }
            facts_.header_seen = true;
            if (!planning_)
                plan_header(head, end, depth);
        }
        FieldReader r(*this, head.offset + kObjectHeaderSize, end, depth);
        layout(r);
    }
    view_.end_object();
    return next;
}

// The header is decoded twice: first silently, to learn which streams and
// languages it declares, so that the records that name them are checked
// where they stand.
void Decoder::plan_header(const ObjectHead& head, std::int64_t end, int depth) {
    SilentView silent;
    DiscardFindings discard;
    Decoder planner(file_, silent, discard, options_);
    planner.planning_ = true;
    planner.decode_object(head, end, asf::Placement::top_level, depth, false);
    HeaderPlan& plan = facts_.plan;
    plan = {};
    plan.known = true;
    for (std::size_t stream = 1; stream < kStreamNumbers; ++stream)
        plan.streams.set(stream, planner.facts_.streams[stream].declared);
    plan.language_list = planner.facts_.language_list_seen;
    plan.languages = planner.facts_.languages;
}

std::int64_t Decoder::decode_data_object(const ObjectHead& head, std::int64_t end, int depth,
                                         bool past_file_end) {
    if (facts_.data.present) {
        report(head.offset, Severity::error, codes::kDuplicateObject, "a second ASF_Data_Object");
    }
    FieldReader r(*this, head.offset + kObjectHeaderSize, end, depth);
    objects::decode_data_object_head(r);
    if (!r.ok()) {
        if (past_file_end)
            report_cut_data_object(head);
        return end;
    }
    DataFacts& data = facts_.data;
    data.present = true;
    data.offset = head.offset;
    data.size = head.size;
    data.first_packet = head.offset + kDataObjectHeadSize;
    PacketDecoder packets(*this);
    const std::int64_t packets_end = packets.decode_all();
    if (past_file_end)
        report_cut_data_object(head);
    return std::max(end, packets_end);
}

// Unless the packets told of the cut already.
void Decoder::report_cut_data_object(const ObjectHead& head) {
    if (facts_.extent_reported)
        return;
    report_extent(
        head.offset, codes::kTruncatedFile,
        message("the file is cut short: the object reaches ",
                saturating_add(head.offset, head.size) - file_.size(), " bytes past its end"));
}

void Decoder::finish_file() {
    if (file_.failed()) {
        // Past report(), which says nothing once a read has failed.
        if (!view_.failed() && !findings_.failed()) {
            findings_.finding(Finding{
                0, Severity::error, codes::kReadError,
                file_.changed()
                    ? message("the file shrank while it was read; the decode stops where it "
                              "found bytes missing")
                    : message("reading the file failed (", io::error_text(file_.error()),
                              "); the decode stops where it did")});
        }
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
    if (!fp.present || fp.broadcast() || fp.file_size == to_u64(file_.size()) ||
        facts_.extent_reported) {
        return;
    }
    // A tagger rewrites the header of a whole file; a file that ends after
    // its header, or holds no Data Object, is no tagger's doing.
    if (facts_.objects_tile_file && facts_.data.present) {
        report(fp.offset, Severity::warning, codes::kFileSize,
               message("File Size is ", fp.file_size, " but the file holds ", file_.size(),
                       " bytes, all of them in its objects: a tagger that rewrote the header "
                       "left File Size as it was; players go by the objects"));
        return;
    }
    report(fp.offset, Severity::error, codes::kFileSize,
           message("File Size is ", fp.file_size, " but the file holds ", file_.size(), " bytes"));
}

}  // namespace asfinspect::decode
