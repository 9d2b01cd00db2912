#include "view/objects_view.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>

#include "decode/facts.hpp"
#include "view/format.hpp"

namespace asfinspect::view {

namespace {

// Times as ASF stores them, in milliseconds, say so in their names.
constexpr std::string_view kColumns =
    "stream,number,time,presentation_time_ms,size,key_frame,fragments,first_packet,last_packet,"
    "send_time_ms,offset,whole,size_declared";

// A column's text, made on the stack.
class Cell {
  public:
    Cell& number(std::uint64_t v) {
        length_ = static_cast<std::size_t>(
            std::to_chars(text_.data() + length_, text_.data() + text_.size(), v).ptr -
            text_.data());
        return *this;
    }
    Cell& text(std::string_view s) {
        const std::size_t n = std::min(s.size(), text_.size() - length_);
        std::memcpy(text_.data() + length_, s.data(), n);
        length_ += n;
        return *this;
    }
    // Milliseconds as exact seconds: -1500 is "-1.5".
    Cell& seconds(std::int64_t ms) {
        if (ms < 0)
            text("-");
        const std::uint64_t magnitude =
            ms < 0 ? 0 - static_cast<std::uint64_t>(ms) : static_cast<std::uint64_t>(ms);
        number(magnitude / 1000);
        if (std::uint64_t fraction = magnitude % 1000; fraction != 0) {
            char digits[4] = {'.', static_cast<char>('0' + fraction / 100),
                              static_cast<char>('0' + fraction / 10 % 10),
                              static_cast<char>('0' + fraction % 10)};
            std::size_t n = 4;
            while (digits[n - 1] == '0')
                --n;
            text(std::string_view(digits, n));
        }
        return *this;
    }
    // Right-aligned in `width` characters; a longer text pushes the next
    // columns along.
    void write(io::Output& out, std::size_t width) {
        static constexpr std::string_view kSpaces = "                    ";
        if (length_ < width)
            out.text(kSpaces.substr(0, std::min(width - length_, kSpaces.size())));
        out.text(std::string_view(text_.data(), length_));
        length_ = 0;
    }

  private:
    std::array<char, 48> text_{};
    std::size_t length_ = 0;
};

}  // namespace

void ObjectsView::begin(const decode::Part& part) {
    using Kind = decode::Part::Kind;
    if (part.kind == Kind::packets && part.facts != nullptr) {
        preroll_ = part.facts->file_properties.preroll;
        return;
    }
    if (part.kind != Kind::file)
        return;
    path_.assign(part.path);
    switch (format_) {
        case Format::text: {
            if (batch_)
                out_.text("file: ").text(part.path).end_line();
            // The names right-aligned over their columns, as write_text makes them.
            Cell cell;
            cell.text("stream").write(out_, 6);
            cell.text("number").write(out_, 8);
            cell.text("time").write(out_, 12);
            cell.text("presentation").write(out_, 14);
            cell.text("size").write(out_, 9);
            out_.text("  key");
            cell.text("fragments").write(out_, 11);
            cell.text("packets").write(out_, 17);
            cell.text("send time").write(out_, 11);
            out_.text("  offset").end_line();
            break;
        }
        case Format::json:
            json_.begin_object();
            write_json_file(json_, part.path, part.size);
            json_.key("media_objects").begin_array();
            break;
        case Format::csv:
            if (!batch_)
                write_csv_header(out_, false);
            break;
    }
}

void ObjectsView::write_csv_header(io::Output& out, bool path) {
    out.text(path ? "path," : "").text(kColumns).text("\r\n");
}

void ObjectsView::end(const decode::Part& part) {
    if (part.kind != decode::Part::Kind::file || format_ != Format::json)
        return;
    if (written_ != 0)
        json_.line_break();
    json_.end_array().end_object().end_document();
}

void ObjectsView::media_object(const decode::MediaObject& m) {
    switch (format_) {
        case Format::text:
            write_text(m);
            break;
        case Format::json:
            write_json(m);
            break;
        case Format::csv:
            write_csv(m);
            break;
    }
    ++written_;
}

void ObjectsView::write_text(const decode::MediaObject& m) {
    Cell cell;
    cell.number(m.stream).write(out_, 6);
    cell.number(m.number).write(out_, 8);
    cell.seconds(answers::player_time(m.presentation_time, preroll_)).write(out_, 12);
    cell.seconds(m.presentation_time).write(out_, 14);
    cell.number(m.size).write(out_, 9);
    out_.text(m.key_frame ? "  yes" : "   no");
    cell.number(m.fragments).write(out_, 11);
    cell.text("  ").number(m.first_packet).text("-").number(m.last_packet).write(out_, 17);
    cell.seconds(m.send_time).write(out_, 11);
    out_.text("  0x").hex_number(static_cast<std::uint64_t>(m.offset));
    if (!m.whole)
        out_.text("  incomplete");
    out_.end_line();
}

// The members' names are template arguments: a file has millions of objects.
void ObjectsView::write_json(const decode::MediaObject& m) {
    json_.line_break().begin_object();
    json_.member_number<"stream">(m.stream).member_number<"number">(m.number);
    json_.key<"time">().raw_with([&](io::Output& out) {
        write_signed_seconds(out, answers::player_time(m.presentation_time, preroll_));
    });
    json_.member_number<"presentation_time_ms">(m.presentation_time);
    json_.member_number<"size">(m.size).member_bool<"key_frame">(m.key_frame);
    json_.member_number<"fragments">(m.fragments);
    json_.member_number<"first_packet">(m.first_packet);
    json_.member_number<"last_packet">(m.last_packet);
    json_.member_number<"send_time_ms">(m.send_time).member_signed<"offset">(m.offset);
    if (!m.whole)
        json_.member_bool<"whole">(false).member_number<"size_declared">(m.size_declared);
    json_.end_object();
}

void ObjectsView::write_csv(const decode::MediaObject& m) {
    if (batch_) {
        write_csv_field(out_, path_);
        out_.text(",");
    }
    out_.number(m.stream).text(",").number(m.number).text(",");
    write_signed_seconds(out_, answers::player_time(m.presentation_time, preroll_));
    out_.text(",").number(m.presentation_time).text(",").number(m.size);
    out_.text(m.key_frame ? ",true," : ",false,").number(m.fragments);
    out_.text(",").number(m.first_packet).text(",").number(m.last_packet);
    out_.text(",").number(m.send_time).text(",").signed_number(m.offset);
    out_.text(m.whole ? ",true," : ",false,").number(m.size_declared).text("\r\n");
}

}  // namespace asfinspect::view
