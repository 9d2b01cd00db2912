#include "check/check_view.hpp"

#include <algorithm>
#include <utility>

#include "decode/findings.hpp"
#include "view/format.hpp"

namespace asfinspect::check {

namespace {

void count(io::Output& out, std::uint64_t n, std::string_view one, std::string_view many) {
    out.number(n).text(" ").text(n == 1 ? one : many);
}

}  // namespace

CheckView::CheckView(io::Output& out, Format format)
    : AnswerView(out), json_(out), format_(format) {}

void CheckView::begin(const decode::Part& part) {
    if (part.kind != decode::Part::Kind::file || format_ != Format::json)
        return;
    json_.begin_object();
    if (batch_)
        json_.member_string("path", path_);
    json_.key("findings").begin_array();
}

CheckView::CodeTally& CheckView::tally_of(std::string_view code) {
    const auto hit = std::find_if(tallies_.begin(), tallies_.end(),
                                  [&](const CodeTally& t) { return t.code == code; });
    if (hit != tallies_.end())
        return *hit;
    return tallies_.emplace_back(CodeTally{code});
}

void CheckView::set_batch(std::string_view path, bool quiet) {
    path_ = path;
    batch_ = true;
    quiet_ = quiet;
}

void CheckView::found(const decode::Finding& f) {
    const bool error = f.severity == decode::Severity::error;
    not_asf_ = not_asf_ || f.code == decode::codes::kNotAsf;
    if (quiet_ && !error)
        return;
    CodeTally& tally = tally_of(f.code);
    if (tally.shown == kShownPerCode) {
        (error ? tally.more_errors : tally.more_warnings) += 1;
        return;
    }
    ++tally.shown;
    held_.push_back({f.offset, f.severity, f.code, std::string(f.message)});
}

void CheckView::media_object(const decode::MediaObject&) {
    ++media_objects_;
}

void CheckView::write_finding(const decode::Finding& f) {
    if (format_ == Format::text) {
        if (batch_)
            out_.text(path_).text(": ");
        out_.text("0x")
            .hex_number(static_cast<std::uint64_t>(f.offset))
            .text(": ")
            .text(view::severity_name(f.severity));
        out_.text(" [").text(f.code).text("]: ").text(f.message).end_line();
        return;
    }
    next_json_item();
    view::write_json_finding(json_, f);
}

// An item a line, but a file of several is one line of JSON.
void CheckView::next_json_item() {
    if (!batch_)
        json_.line_break();
}

// "... and 999,900 more packet-parse errors"
void CheckView::write_rest_text(const CodeTally& t) {
    const std::uint64_t rest = t.more_errors + t.more_warnings;
    if (batch_)
        out_.text(path_).text(": ");
    out_.text("... and ");
    view::write_grouped(out_, rest);
    out_.text(" more ").text(t.code);
    if (t.more_warnings == 0) {
        out_.text(rest == 1 ? " error" : " errors");
    } else if (t.more_errors == 0) {
        out_.text(rest == 1 ? " warning" : " warnings");
    } else {
        out_.text(" findings (");
        count(out_, t.more_errors, "error", "errors");
        out_.text(", ");
        count(out_, t.more_warnings, "warning", "warnings");
        out_.text(")");
    }
    out_.end_line();
}

void CheckView::write_rest_json(const CodeTally& t) {
    next_json_item();
    json_.begin_object().member_string("code", t.code).member_number("errors", t.more_errors);
    json_.member_number("warnings", t.more_warnings).end_object();
}

void CheckView::end(const decode::Part& part) {
    if (part.kind != decode::Part::Kind::file)
        return;
    const decode::FileSummary& summary = *part.summary;
    const auto place = [](const Held& h) { return decode::file_place(h.offset, h.code); };
    std::stable_sort(held_.begin(), held_.end(),
                     [&](const Held& a, const Held& b) { return place(a) < place(b); });
    for (const Held& h : held_)
        write_finding({h.offset, h.severity, h.code, h.message});
    held_.clear();
    if (format_ == Format::json) {
        json_.end_array().key("not_listed").begin_array();
        for (const CodeTally& t : tallies_) {
            if (t.more_errors + t.more_warnings != 0)
                write_rest_json(t);
        }
        json_.end_array().member_number("errors", errors()).member_number("warnings", warnings());
        json_.member_number("packets", summary.packets)
            .member_number("media_objects", media_objects_);
        json_.end_object().end_document();
        return;
    }
    for (const CodeTally& t : tallies_) {
        if (t.more_errors + t.more_warnings != 0)
            write_rest_text(t);
    }
    if (quiet_ && errors() == 0)
        return;
    if (batch_)
        out_.text(path_).text(": ");
    count(out_, errors(), "error", "errors");
    out_.text(", ");
    count(out_, warnings(), "warning", "warnings");
    out_.text(" in ");
    count(out_, summary.packets, "packet", "packets");
    out_.end_line();
}

}  // namespace asfinspect::check
