#include "view/json_view.hpp"

#include <algorithm>

#include "asf/guid_registry.hpp"
#include "asf/timecode.hpp"
#include "view/format.hpp"

namespace asfinspect::view {

using io::JsonName;

// `"name":`, for every field: the fast way, which copies the identifier's
// storage whole.
[[gnu::always_inline]] inline void JsonView::member(const decode::Key& key) {
    json_.identifier_key(key.storage(), key.identifier().size());
}

JsonView::JsonView(io::Output& out)
    : out_(out), json_(out), flag_parts_(FlagPartsText::Style::json) {}

JsonView::Level& JsonView::push(Frame frame) {
    if (depth_ == levels_.size())
        levels_.emplace_back();
    Level& level = levels_[depth_++];
    level.frame = frame;
    level.part = ObjectPart::fields;
    level.held = 0;
    level.dropped = 0;
    return level;
}

void JsonView::pop() {
    --depth_;
}

void JsonView::close_part(Level& object) {
    switch (object.part) {
        case ObjectPart::fields:
            json_.end_object();
            break;
        case ObjectPart::children:
        case ObjectPart::packets:
            json_.end_array();
            break;
        case ObjectPart::done:
            break;
    }
    object.part = ObjectPart::done;
}

void JsonView::write_findings(const Level& level) {
    if (level.held == 0)
        return;
    json_.key("findings").begin_array();
    for (std::size_t i = 0; i < level.held; ++i) {
        const HeldFinding& f = level.findings[i];
        write_json_finding(json_, {f.offset, f.severity, f.code, f.message});
    }
    json_.end_array();
    if (level.dropped != 0)
        json_.member_number("findings_not_listed", level.dropped);
}

void JsonView::begin(const decode::Part& part) {
    using Kind = decode::Part::Kind;
    switch (part.kind) {
        case Kind::file:
            open_file(part.path, part.size);
            break;
        case Kind::object:
            open_object(*part.head);
            break;
        case Kind::packets:
            open_packets();
            break;
        case Kind::group:
            member(*part.key);
            json_.begin_object();
            push(Frame::group);
            break;
        case Kind::list:
            member(*part.key);
            json_.begin_array();
            push(Frame::list);
            break;
        case Kind::item:
            open_item(part.index, part.offset);
            break;
    }
}

void JsonView::end(const decode::Part& part) {
    using Kind = decode::Part::Kind;
    switch (part.kind) {
        case Kind::file:
            close_file();
            break;
        case Kind::object:
            close_object();
            break;
        case Kind::packets:
            close_part(levels_[depth_ - 1]);
            break;
        case Kind::group:
            json_.end_object();
            pop();
            break;
        case Kind::list:
            json_.end_array();
            pop();
            break;
        case Kind::item:
            write_findings(levels_[depth_ - 1]);
            json_.end_object();
            pop();
            break;
    }
}

void JsonView::open_file(std::string_view path, std::int64_t size) {
    push(Frame::document);
    json_.begin_object().member_string("version", ASFINSPECT_VERSION);
    write_json_file(json_, path, size);
    json_.key("objects").begin_array();
}

void JsonView::close_file() {
    json_.line_break().end_array();
    write_findings(levels_[0]);
    json_.end_object().end_document();
    depth_ = 0;
}

void JsonView::open_object(const decode::ObjectHead& head) {
    Level& parent = levels_[depth_ - 1];
    if (parent.frame == Frame::object && parent.part != ObjectPart::children) {
        close_part(parent);
        json_.key("children").begin_array();
        parent.part = ObjectPart::children;
    }
    // A top-level object a line.
    if (depth_ == 1)
        json_.line_break();
    json_.begin_object().member_signed("offset", head.offset).member_signed("size", head.size);
    json_.member_string("guid", asf::as_view(asf::registry_form(head.guid)));
    if (head.known != nullptr)
        json_.member_string("name", head.known->name);
    else
        json_.member_null("name");
    json_.key("fields").begin_object();
    push(Frame::object);
}

void JsonView::close_object() {
    Level& object = levels_[depth_ - 1];
    close_part(object);
    write_findings(object);
    json_.end_object();
    pop();
}

void JsonView::open_packets() {
    Level& object = levels_[depth_ - 1];
    close_part(object);
    json_.key("packets").begin_array();
    object.part = ObjectPart::packets;
}

void JsonView::open_item(std::uint64_t index, std::int64_t offset) {
    // A packet a line, so that line tools can follow the packets.
    if (levels_[depth_ - 1].frame == Frame::object)
        json_.line_break();
    json_.begin_object();
    push(Frame::item);
    if (offset >= 0)
        json_.member_number("index", index).member_signed("offset", offset);
}

void JsonView::value(const decode::Key& key, const decode::Value& v) {
    using Kind = decode::Value::Kind;
    member(key);
    switch (v.kind()) {
        case Kind::unsigned_integer:
            json_.number(v.number());
            write_unset(key, v.unset());
            break;
        case Kind::enumerated:
        case Kind::flags:
            json_.number(v.number());
            break;
        case Kind::flag_parts:
            json_.number(v.number());
            json_.key(JsonName::identifier(key.identifier()), "_parts")
                .raw(flag_parts_.of(key, v.flag_parts(), v.number()));
            break;
        case Kind::signed_integer:
            json_.signed_number(v.signed_number());
            break;
        case Kind::boolean:
            json_.boolean(v.number() != 0);
            break;
        case Kind::guid:
            write_guid_value(v.guid());
            break;
        case Kind::text:
            json_.string(v.text());
            break;
        case Kind::bytes:
            write_bytes(v.head(), v.number());
            break;
        case Kind::date:
            json_.raw_with([&v](io::Output& out) {
                out.text("\"");
                write_filetime(out, v.number(), 'T');
                out.text("Z\"");
            });
            write_unset(key, v.unset());
            break;
        case Kind::fourcc: {
            char chars[4];
            fourcc_chars(static_cast<std::uint32_t>(v.number()), chars);
            json_.string(std::string_view(chars, 4));
            break;
        }
        case Kind::timecode:
            write_timecode_value(key, static_cast<std::uint32_t>(v.number()));
            break;
        case Kind::text_blob:
            write_bytes(v.text_blob().head, v.text_blob().length);
            json_.key(JsonName::identifier(key.identifier()), "_text").string(v.text_blob().text);
            break;
    }
}

// What a value that stands for "no value" means, beside it.
void JsonView::write_unset(const decode::Key& key, std::string_view meaning) {
    if (!meaning.empty())
        json_.key(JsonName::identifier(key.identifier()), "_sentinel").string(meaning);
}

// The integer stored, and beside it its digits when they are BCD.
void JsonView::write_timecode_value(const decode::Key& key, std::uint32_t v) {
    json_.number(v).key(key.identifier(), "_text");
    if (asf::bcd_timecode(v))
        json_.raw_with([v](io::Output& out) {
            out.text("\"");
            write_timecode(out, v);
            out.text("\"");
        });
    else
        json_.null();
}

void JsonView::unsigned_value(const decode::Key& key, std::uint64_t v, decode::Unit) {
    member(key);
    json_.number(v);
}

void JsonView::write_guid_value(const asf::Guid& v) {
    json_.begin_object().member_string("guid", asf::as_view(asf::registry_form(v)));
    const std::string_view name = asf::guid_name(v);
    if (name.empty())
        json_.member_null("name");
    else
        json_.member_string("name", name);
    json_.end_object();
}

void JsonView::write_bytes(io::Bytes head, std::uint64_t length) {
    static constexpr char kHex[] = "0123456789abcdef";
    char buf[2 * decode::kBlobHeadBytes];
    std::size_t n = 0;
    for (const std::uint8_t b : head.first(std::min(head.size(), decode::kBlobHeadBytes))) {
        buf[n++] = kHex[b >> 4];
        buf[n++] = kHex[b & 0xf];
    }
    json_.begin_object().member_number("length", length).key("hex");
    // Hex digits need no escaping.
    json_.raw_with(
        [&](io::Output& out) { out.text("\"").text(std::string_view(buf, n)).text("\""); });
    json_.end_object();
}

void JsonView::finding(const decode::Finding& f) {
    for (std::size_t i = depth_; i-- > 0;) {
        Level& level = levels_[i];
        if (level.frame == Frame::group || level.frame == Frame::list)
            continue;
        if (level.held >= kMaxFindings) {
            ++level.dropped;
            return;
        }
        // The vectors of a level are kept for reuse, so that a file of many
        // packets with findings doesn't allocate for each one.
        if (level.held == level.findings.size())
            level.findings.emplace_back();
        HeldFinding& held = level.findings[level.held++];
        held.offset = f.offset;
        held.severity = f.severity;
        held.code = f.code;
        held.message.assign(f.message);
        return;
    }
}

}  // namespace asfinspect::view
