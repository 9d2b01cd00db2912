// The summary as one JSON document.

#include <algorithm>

#include "io/json_writer.hpp"
#include "view/format.hpp"
#include "view/summary_columns.hpp"
#include "view/summary_writers.hpp"

namespace asfinspect::view {

namespace {

using answers::FileAnswers;
using answers::TagAnswers;
using io::JsonWriter;

constexpr std::string_view kEllipsis = "\xE2\x80\xA6";  // U+2026

void kept_text(JsonWriter& json, std::string_view key, const decode::KeptText& text) {
    if (text.cut) {
        json.member_string(key, text.text + std::string(kEllipsis));
    } else {
        json.member_string(key, text.text);
    }
}

// What a content encryption object names, each member where it names it.
void encryption(JsonWriter& json, std::string_view key, const decode::EncryptionFacts& e) {
    json.key(key).begin_object();
    if (!e.protection_type.text.empty())
        kept_text(json, "protection_type", e.protection_type);
    if (!e.key_id.text.empty())
        kept_text(json, "key_id", e.key_id);
    if (!e.license_url.text.empty())
        kept_text(json, "license_url", e.license_url);
    json.end_object();
}

void seconds(JsonWriter& json, std::string_view key, std::int64_t ticks) {
    json.member_raw(key, exact_seconds_of_ticks(ticks).view());
}

// A duration the file declares, 64 bits that may pass 2^63 ticks.
void declared_seconds(JsonWriter& json, std::string_view key, std::uint64_t ticks) {
    json.member_raw(key, exact_seconds(ticks, decode::Unit::hundred_nanoseconds).view());
}

void tag_value(JsonWriter& json, const TagAnswers& tag) {
    switch (tag.kind) {
        case TagAnswers::Kind::text:
            if (tag.text.cut) {
                json.string(tag.text.text + std::string(kEllipsis));
            } else {
                json.string(tag.text.text);
            }
            return;
        case TagAnswers::Kind::number:
            json.number(tag.number);
            return;
        case TagAnswers::Kind::boolean:
            json.boolean(tag.number != 0);
            return;
        case TagAnswers::Kind::guid:
            json.raw_with([&](io::Output& out) {
                out.text("\"");
                write_guid(out, tag.guid);
                out.text("\"");
            });
            return;
        case TagAnswers::Kind::bytes:
            json.begin_object().member_number("length", tag.number).end_object();
            return;
        case TagAnswers::Kind::date:
            json.raw_with([&](io::Output& out) {
                out.text("\"");
                write_filetime(out, tag.number, 'T');
                out.text("Z\"");
            });
            return;
        case TagAnswers::Kind::unreadable:
            break;
    }
    json.null();
}

// The tags of one scope (the file, or stream `stream`) as members of an
// object: a name met once has its value, one met again an array of them.
void tags(JsonWriter& json, const FileAnswers& a, const decode::StreamSet& shown, TagScope scope,
          std::uint16_t stream) {
    const std::vector<TagAnswers>& all = a.tags;
    const auto in_scope = [&](const TagAnswers& t) {
        return scope_of(t, shown) == scope && (scope != TagScope::stream || t.stream == stream);
    };
    json.begin_object();
    // Each name once, where it is first met; the kept tags are few (at most
    // kMaxKeptTags), so the search for the others of a name is short.
    for (std::size_t i = 0; i < all.size(); ++i) {
        if (!in_scope(all[i]))
            continue;
        const std::string_view name = all[i].name.text;
        const auto same = [&](const TagAnswers& t) { return in_scope(t) && t.name.text == name; };
        if (std::any_of(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(i), same))
            continue;
        const auto n = std::count_if(all.begin() + static_cast<std::ptrdiff_t>(i), all.end(), same);
        json.key(name);
        if (n > 1)
            json.begin_array();
        for (std::size_t j = i; j < all.size(); ++j) {
            if (same(all[j]))
                tag_value(json, all[j]);
        }
        if (n > 1)
            json.end_array();
    }
    json.end_object();
}

void cells(JsonWriter& json, const Cells& row) {
    for (std::size_t i = 0; i < row.size(); ++i) {
        const Cell& cell = row[i];
        switch (cell.kind) {
            case Cell::Kind::number:
                json.member_number(kColumnNames[i], cell.number);
                break;
            case Cell::Kind::seconds:
                seconds(json, kColumnNames[i], cell.ticks);
                break;
            case Cell::Kind::text:
                json.member_string(kColumnNames[i], cell.text);
                break;
            case Cell::Kind::boolean:
                json.member_bool(kColumnNames[i], cell.number != 0);
                break;
            case Cell::Kind::decimal:
                json.member_raw(kColumnNames[i],
                                decimal_text(cell.real, static_cast<int>(cell.number)).view());
                break;
            case Cell::Kind::absent:
                break;
        }
    }
}

void streams(JsonWriter& json, const FileAnswers& a, const decode::StreamSet& shown) {
    json.key("streams").begin_array();
    for (const answers::StreamAnswers& s : a.streams) {
        if (!shown.test(s.number))
            continue;
        json.begin_object();
        cells(json, stream_cells(s));
        const bool tagged = std::any_of(a.tags.begin(), a.tags.end(), [&](const TagAnswers& t) {
            return scope_of(t, shown) == TagScope::stream && t.stream == s.number;
        });
        if (tagged) {
            json.key("tags");
            tags(json, a, shown, TagScope::stream, s.number);
        }
        json.end_object();
    }
    json.end_array();
}

void pictures(JsonWriter& json, const FileAnswers& a) {
    json.key("pictures").begin_array();
    for (const answers::PictureAnswers& p : a.pictures) {
        json.begin_object().member_number("type", p.type);
        if (!p.type_name.empty())
            json.member_string("type_name", p.type_name);
        json.member_string("mime_type", p.mime_type.text);
        json.member_string("description", p.description.text);
        json.member_number("size", p.size).end_object();
    }
    json.end_array();
    if (a.pictures_not_kept != 0)
        json.member_number("pictures_not_kept", a.pictures_not_kept);
}

void indexes(JsonWriter& json, const FileAnswers& a) {
    json.key("indexes").begin_array();
    for (const answers::IndexAnswers& index : a.indexes) {
        json.begin_object().member_string("type", index_name(index.type).key);
        json.member_number("entries", index.entries);
        json.key("streams").begin_array();
        for (const std::uint16_t s : index.streams)
            json.number(s);
        json.end_array();
        if (index.interval) {
            declared_seconds(json, "interval", *index.interval);
            declared_seconds(json, "covers", *index.covers);
        }
        json.end_object();
    }
    json.end_array();
}

void verdict(JsonWriter& json, const answers::Verdict& v) {
    json.key("verdict").begin_object();
    json.member_number("errors", v.errors).member_number("warnings", v.warnings);
    json.key("codes").begin_array();
    for (const answers::CodeCount& c : v.codes) {
        json.begin_object().member_string("code", c.code);
        json.member_number("errors", c.errors).member_number("warnings", c.warnings);
        json.end_object();
    }
    json.end_array().end_object();
}

}  // namespace

void write_summary_json(io::Output& out, const FileAnswers& a, const decode::StreamSet& shown) {
    JsonWriter json(out);
    // `path` first, as every line of --check --json begins.
    json.begin_object().member_string("path", a.path);
    json.member_string("version", ASFINSPECT_VERSION);
    write_json_file(json, a.path, a.size);
    if (a.duration)
        declared_seconds(json, "duration", *a.duration);
    if (a.measured)
        seconds(json, "duration_measured", a.measured->duration);
    if (a.preroll_ms)
        json.member_raw("preroll", exact_seconds(*a.preroll_ms, decode::Unit::milliseconds).view());
    if (a.maximum_bitrate)
        json.member_number("bitrate", *a.maximum_bitrate);
    if (a.bitrate_mode)
        json.member_string("bitrate_mode", bitrate_mode_name(*a.bitrate_mode));
    if (a.measured && a.measured->bitrate)
        json.member_number("bitrate_measured", *a.measured->bitrate);
    if (a.measured && a.measured->busiest)
        json.member_number("bitrate_peak", *a.measured->busiest);
    if (a.packet_size != 0) {
        json.member_number("packet_size", a.packet_size);
        json.member_number("packets", a.packets);
    }
    if (a.packets_declared)
        json.member_number("packets_declared", *a.packets_declared);
    json.member_number("packets_decoded", a.packets_decoded);
    if (a.file_properties) {
        json.member_bool("broadcast", a.broadcast).member_bool("seekable", a.seekable);
        if (a.created) {
            json.key("created").raw_with([&](io::Output& o) {
                o.text("\"");
                write_filetime(o, *a.created, 'T');
                o.text("Z\"");
            });
        }
    }
    json.member_bool("protected", a.protection.any());
    if (a.protection.any()) {
        json.key("protection").begin_array();
        for (const ProtectionName& p : kProtectionNames) {
            if (a.protection.*p.present)
                json.string(p.key);
        }
        json.end_array();
        if (a.protection.content_encryption)
            encryption(json, "content_encryption", a.protection.content);
        if (a.protection.extended_content_encryption)
            encryption(json, "extended_content_encryption", a.protection.extended);
    }
    json.member_bool("xmp", a.xmp_objects != 0);
    if (a.xmp_objects != 0)
        json.member_number("xmp_size", a.xmp_bytes);
    streams(json, a, shown);
    json.key("tags");
    tags(json, a, shown, TagScope::file, 0);
    if (a.tags_not_kept != 0)
        json.member_number("tags_not_kept", a.tags_not_kept);
    pictures(json, a);
    indexes(json, a);
    json.key("unindexed_video").begin_array();
    for (const std::uint8_t n : a.unindexed_video)
        json.number(n);
    json.end_array();
    verdict(json, a.verdict);
    json.end_object().end_document();
}

}  // namespace asfinspect::view
