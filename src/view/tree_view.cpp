#include "view/tree_view.hpp"

#include <algorithm>

#include "asf/guid_registry.hpp"
#include "view/format.hpp"

namespace asfinspect::view {

namespace {

constexpr int kIndentWidth = 2;
// Of text held in bytes (an XMP packet), the lines shown, and of each line
// the bytes.
constexpr std::size_t kTextLines = 8;
constexpr std::size_t kTextLineBytes = 160;

bool printable(char c) {
    return c >= 0x20 && c < 0x7f;
}

}  // namespace

TreeView::TreeView(io::Output& out) : out_(out), flag_parts_(FlagPartsText::Style::people) {}

void TreeView::indent() {
    static constexpr std::string_view kSpaces = "                                ";
    std::size_t n = static_cast<std::size_t>(depth_ * kIndentWidth);
    while (n > 0) {
        const std::size_t chunk = std::min(n, kSpaces.size());
        out_.text(kSpaces.substr(0, chunk));
        n -= chunk;
    }
}

void TreeView::label(const decode::Key& key) {
    indent();
    out_.text(key.label()).text(": ");
}

void TreeView::begin(const decode::Part& part) {
    using Kind = decode::Part::Kind;
    switch (part.kind) {
        case Kind::file:
            out_.text("File ");
            write_quoted(out_, part.path);
            out_.text(", ").signed_number(part.size).text(" bytes").end_line();
            break;
        case Kind::object:
            begin_object_line(*part.head);
            ++depth_;
            break;
        case Kind::packets:
            item_names_.push_back("Packet");
            break;
        case Kind::group:
            indent();
            out_.text(part.key->label()).text(":").end_line();
            ++depth_;
            break;
        case Kind::list:
            item_names_.push_back(part.item);
            break;
        case Kind::item:
            indent();
            out_.text(item_names_.empty() ? std::string_view("Item") : item_names_.back());
            out_.text(" ").number(part.index);
            if (part.offset >= 0)
                out_.text(" at 0x").hex_number(static_cast<std::uint64_t>(part.offset));
            out_.end_line();
            ++depth_;
            break;
    }
}

void TreeView::begin_object_line(const decode::ObjectHead& head) {
    indent();
    out_.text("0x").hex_number(static_cast<std::uint64_t>(head.offset)).text(" ");
    if (head.known != nullptr) {
        out_.text(head.known->name);
    } else {
        out_.text("unknown object ");
        write_guid(out_, head.guid);
    }
    out_.text(", size ").signed_number(head.size).end_line();
}

void TreeView::end(const decode::Part& part) {
    using Kind = decode::Part::Kind;
    switch (part.kind) {
        case Kind::file:
            break;
        case Kind::object:
        case Kind::group:
        case Kind::item:
            --depth_;
            break;
        case Kind::packets:
        case Kind::list:
            item_names_.pop_back();
            break;
    }
}

void TreeView::value(const decode::Key& key, const decode::Value& v) {
    using Kind = decode::Value::Kind;
    label(key);
    switch (v.kind()) {
        case Kind::unsigned_integer:
            if (v.unset().empty()) {
                write_unsigned(v.number(), v.unit());
            } else {
                write_unset(v.number(), v.unset());
            }
            break;
        case Kind::signed_integer:
            out_.signed_number(v.signed_number());
            break;
        case Kind::boolean:
            out_.text(v.number() != 0 ? "yes" : "no");
            break;
        case Kind::enumerated:
            out_.number(v.number());
            if (!v.text().empty())
                out_.text(" (").text(v.text()).text(")");
            break;
        case Kind::flags:
            write_flags(v.number(), v.flag_names());
            break;
        case Kind::flag_parts:
            out_.text("0x").hex_number(v.number()).text(" (");
            out_.text(flag_parts_.of(key, v.flag_parts(), v.number())).text(")");
            break;
        case Kind::guid:
            write_guid(out_, v.guid());
            if (const std::string_view name = asf::guid_name(v.guid()); !name.empty())
                out_.text(" (").text(name).text(")");
            break;
        case Kind::text:
            write_quoted(out_, v.text());
            break;
        case Kind::bytes:
            write_bytes(v.head(), v.number());
            break;
        case Kind::date:
            if (v.unset().empty()) {
                write_filetime(out_, v.number(), ' ');
                out_.text(" UTC");
            } else {
                write_unset(v.number(), v.unset());
            }
            break;
        case Kind::fourcc:
            write_fourcc(static_cast<std::uint32_t>(v.number()));
            break;
        case Kind::timecode:
            if (!write_timecode(out_, static_cast<std::uint32_t>(v.number())))
                out_.text("0x").hex_number(v.number()).text(" (not BCD digits)");
            break;
        case Kind::text_blob:
            write_text_blob(v.text_blob());
            return;
    }
    out_.end_line();
}

// A value that stands for "no value": 0 as it is, any other in hexadecimal
// (all ones, say), and what it means.
void TreeView::write_unset(std::uint64_t v, std::string_view meaning) {
    if (v == 0) {
        out_.text("0");
    } else {
        out_.text("0x").hex_number(v);
    }
    out_.text(" (").text(meaning).text(")");
}

// Its size, then its first lines, each quoted on a line of its own.
void TreeView::write_text_blob(const decode::TextBlob& blob) {
    if (blob.length == 0) {
        out_.text("(none)").end_line();
        return;
    }
    out_.number(blob.length).text(blob.length == 1 ? " byte of text" : " bytes of text");
    out_.end_line();
    ++depth_;
    std::string_view rest = blob.text;
    std::size_t shown = 0;
    // Each pass shows a line, until the text or the lines shown end.
    while (!rest.empty() && shown < kTextLines) {
        const std::size_t end = std::min(rest.find('\n'), rest.size());
        std::string_view line = rest.substr(0, end);
        rest.remove_prefix(std::min(end + 1, rest.size()));
        if (line.ends_with('\r'))
            line.remove_suffix(1);
        indent();
        if (line.size() <= kTextLineBytes) {
            write_quoted(out_, line);
        } else {
            // Cut where a character starts.
            std::size_t cut = kTextLineBytes;
            while (cut > 0 && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80)
                --cut;
            write_quoted(out_, line.substr(0, cut));
            out_.text(" (").number(line.size() - cut).text(" more bytes)");
        }
        out_.end_line();
        ++shown;
    }
    if (!rest.empty()) {
        const auto lines = static_cast<std::uint64_t>(std::count(rest.begin(), rest.end(), '\n'));
        const std::uint64_t more = lines + (rest.back() == '\n' ? 0 : 1);
        indent();
        out_.text("(").number(more).text(more == 1 ? " more line)" : " more lines)").end_line();
    }
    --depth_;
}

void TreeView::unsigned_value(const decode::Key& key, std::uint64_t v, decode::Unit unit) {
    label(key);
    write_unsigned(v, unit);
    out_.end_line();
}

void TreeView::write_unsigned(std::uint64_t v, decode::Unit unit) {
    if (unit == decode::Unit::none) {
        out_.number(v);
    } else if (unit == decode::Unit::file_offset) {
        out_.text("0x").hex_number(v);
    } else {
        write_seconds(out_, v, unit);
        out_.text(" s");
    }
}

void TreeView::write_flags(std::uint64_t v, decode::FlagNames names) {
    out_.text("0x").hex_number(v);
    bool first = true;
    for (const decode::FlagName& n : names) {
        if ((v & n.mask) == n.mask && n.mask != 0) {
            out_.text(first ? " (" : ", ").text(n.name);
            first = false;
        }
    }
    if (!first)
        out_.text(")");
}

void TreeView::write_bytes(io::Bytes head, std::uint64_t length) {
    if (length == 0) {
        out_.text("(none)");
        return;
    }
    head = head.first(std::min(head.size(), decode::kBlobHeadBytes));
    out_.hex_bytes(head);
    if (length > head.size()) {
        out_.text("(")
            .number(length - head.size())
            .text(" more bytes, ")
            .number(length)
            .text(" in all)");
    }
}

void TreeView::write_fourcc(std::uint32_t v) {
    char chars[4];
    fourcc_chars(v, chars);
    if (printable(chars[0]) && printable(chars[1]) && printable(chars[2]) && printable(chars[3])) {
        write_quoted(out_, std::string_view(chars, 4));
    } else {
        out_.text("0x").hex_number(v);
    }
}

void TreeView::finding(const decode::Finding& f) {
    indent();
    out_.text(f.severity == decode::Severity::error ? "! error at 0x" : "! warning at 0x");
    out_.hex_number(static_cast<std::uint64_t>(f.offset)).text(": ").text(f.message).end_line();
}

}  // namespace asfinspect::view
