#include "view/json_view.hpp"

#include <array>
#include <cstring>

#include "asf/guid_registry.hpp"
#include "asf/timecode.hpp"
#include "view/format.hpp"

namespace asfinspect::view {

JsonView::JsonView(io::Output& out) : out_(out), flag_parts_(FlagPartsText::Style::json) {}

JsonView::Level& JsonView::push(Frame frame) {
    if (depth_ == levels_.size())
        levels_.emplace_back();
    Level& level = levels_[depth_++];
    level.frame = frame;
    level.part = ObjectPart::fields;
    level.first = true;
    level.held = 0;
    level.dropped = 0;
    return level;
}

void JsonView::pop() {
    --depth_;
}

void JsonView::comma(Level& level) {
    if (!level.first)
        out_.text(",");
    level.first = false;
}

// `"name":`, made in one piece: a member is written for every field, so it
// is kept inline in the writers of values.
[[gnu::always_inline]] inline void JsonView::member(const decode::Key& key) {
    comma(levels_[depth_ - 1]);
    const std::size_t length = key.identifier().size();
    std::array<char, decode::Key::kMaxIdentifierLength + 3> text;
    text[0] = '"';
    std::memcpy(text.data() + 1, key.storage().data(), decode::Key::kMaxIdentifierLength);
    text[length + 1] = '"';
    text[length + 2] = ':';
    out_.text_within<text.size()>(text.data(), length + 3);
}

// `,"name_suffix":`: a member beside a field's own, for what its value means.
void JsonView::member_beside(const decode::Key& key, std::string_view suffix) {
    out_.text(",\"").text(key.identifier()).text(suffix).text("\":");
}

void JsonView::close_part(Level& object) {
    switch (object.part) {
        case ObjectPart::fields:
            out_.text("}");
            break;
        case ObjectPart::children:
        case ObjectPart::packets:
            out_.text("]");
            break;
        case ObjectPart::done:
            break;
    }
    object.part = ObjectPart::done;
}

void JsonView::write_findings(Level& level) {
    if (level.held == 0)
        return;
    // An item may hold nothing but its findings.
    out_.text(level.frame == Frame::item && level.first ? "\"findings\":[" : ",\"findings\":[");
    for (std::size_t i = 0; i < level.held; ++i) {
        const HeldFinding& f = level.findings[i];
        out_.text(i == 0 ? "{\"offset\":" : ",{\"offset\":").signed_number(f.offset);
        out_.text(f.severity == decode::Severity::error ? ",\"severity\":\"error\""
                                                        : ",\"severity\":\"warning\"");
        out_.text(",\"code\":\"").text(f.code).text("\",\"message\":");
        write_json_string(out_, f.message);
        out_.text("}");
    }
    out_.text("]");
    if (level.dropped != 0)
        out_.text(",\"findings_not_listed\":").number(level.dropped);
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
            out_.text("{");
            push(Frame::group);
            break;
        case Kind::list:
            member(*part.key);
            out_.text("[");
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
            out_.text("}");
            pop();
            break;
        case Kind::list:
            out_.text("]");
            pop();
            break;
        case Kind::item:
            write_findings(levels_[depth_ - 1]);
            out_.text("}");
            pop();
            break;
    }
}

void JsonView::open_file(std::string_view path, std::int64_t size) {
    push(Frame::document);
    out_.text("{\"version\":\"" ASFINSPECT_VERSION "\",\"file\":{\"path\":");
    write_json_string(out_, path);
    out_.text(",\"size\":").signed_number(size).text("},\"objects\":[");
}

void JsonView::close_file() {
    Level& document = levels_[0];
    out_.text("\n]");
    write_findings(document);
    out_.text("}").end_line();
    depth_ = 0;
}

void JsonView::open_object(const decode::ObjectHead& head) {
    Level& parent = levels_[depth_ - 1];
    if (parent.frame == Frame::object && parent.part != ObjectPart::children) {
        close_part(parent);
        out_.text(",\"children\":[");
        parent.part = ObjectPart::children;
        parent.first = true;
    }
    comma(parent);
    out_.text(depth_ == 1 ? "\n{\"offset\":" : "{\"offset\":").signed_number(head.offset);
    out_.text(",\"size\":").signed_number(head.size).text(",\"guid\":\"");
    write_guid(out_, head.guid);
    out_.text("\",\"name\":");
    if (head.known != nullptr) {
        out_.text("\"").text(head.known->name).text("\"");
    } else {
        out_.text("null");
    }
    out_.text(",\"fields\":{");
    push(Frame::object);
}

void JsonView::close_object() {
    Level& object = levels_[depth_ - 1];
    close_part(object);
    write_findings(object);
    out_.text("}");
    pop();
}

void JsonView::open_packets() {
    Level& object = levels_[depth_ - 1];
    close_part(object);
    out_.text(",\"packets\":[");
    object.part = ObjectPart::packets;
    object.first = true;
}

void JsonView::open_item(std::uint64_t index, std::int64_t offset) {
    Level& parent = levels_[depth_ - 1];
    const bool packet = parent.frame == Frame::object;
    comma(parent);
    // A packet a line, so that line tools can follow the packets.
    out_.text(packet ? "\n{" : "{");
    Level& item = push(Frame::item);
    if (offset >= 0) {
        out_.text("\"index\":").number(index).text(",\"offset\":").signed_number(offset);
        item.first = false;
    }
}

void JsonView::value(const decode::Key& key, const decode::Value& v) {
    using Kind = decode::Value::Kind;
    member(key);
    switch (v.kind()) {
        case Kind::unsigned_integer:
            out_.number(v.number());
            write_unset(key, v.unset());
            break;
        case Kind::enumerated:
        case Kind::flags:
            out_.number(v.number());
            break;
        case Kind::flag_parts:
            out_.number(v.number());
            out_.text(flag_parts_.of(key, v.flag_parts(), v.number()));
            break;
        case Kind::signed_integer:
            out_.signed_number(v.signed_number());
            break;
        case Kind::boolean:
            out_.text(v.number() != 0 ? "true" : "false");
            break;
        case Kind::guid:
            write_guid_member(v.guid());
            break;
        case Kind::text:
            write_json_string(out_, v.text());
            break;
        case Kind::bytes:
            write_bytes(v.head(), v.number());
            break;
        case Kind::date:
            out_.text("\"");
            write_filetime(out_, v.number(), 'T');
            out_.text("Z\"");
            write_unset(key, v.unset());
            break;
        case Kind::fourcc: {
            char chars[4];
            fourcc_chars(static_cast<std::uint32_t>(v.number()), chars);
            write_json_string(out_, std::string_view(chars, 4));
            break;
        }
        case Kind::timecode:
            out_.number(v.number());
            member_beside(key, "_text");
            if (asf::bcd_timecode(static_cast<std::uint32_t>(v.number()))) {
                out_.text("\"");
                write_timecode(out_, static_cast<std::uint32_t>(v.number()));
                out_.text("\"");
            } else {
                out_.text("null");
            }
            break;
        case Kind::text_blob:
            write_bytes(v.text_blob().head, v.text_blob().length);
            member_beside(key, "_text");
            write_json_string(out_, v.text_blob().text);
            break;
    }
}

// What a value that stands for "no value" means, beside it.
void JsonView::write_unset(const decode::Key& key, std::string_view meaning) {
    if (meaning.empty())
        return;
    member_beside(key, "_sentinel");
    write_json_string(out_, meaning);
}

void JsonView::unsigned_value(const decode::Key& key, std::uint64_t v, decode::Unit) {
    member(key);
    out_.number(v);
}

void JsonView::write_guid_member(const asf::Guid& v) {
    out_.text("{\"guid\":\"");
    write_guid(out_, v);
    out_.text("\",\"name\":");
    const std::string_view name = asf::guid_name(v);
    if (name.empty()) {
        out_.text("null}");
    } else {
        out_.text("\"").text(name).text("\"}");
    }
}

void JsonView::write_bytes(io::Bytes head, std::uint64_t length) {
    static constexpr char kHex[] = "0123456789abcdef";
    out_.text("{\"length\":").number(length).text(",\"hex\":\"");
    char buf[2 * decode::kBlobHeadBytes];
    std::size_t n = 0;
    for (const std::uint8_t b : head.first(std::min(head.size(), decode::kBlobHeadBytes))) {
        buf[n++] = kHex[b >> 4];
        buf[n++] = kHex[b & 0xf];
    }
    out_.text(std::string_view(buf, n)).text("\"}");
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
