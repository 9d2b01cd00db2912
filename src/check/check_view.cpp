#include "check/check_view.hpp"

#include "view/format.hpp"

namespace asfinspect::check {

namespace {

std::string_view severity_name(decode::Severity s) {
    return s == decode::Severity::error ? "error" : "warning";
}

void count(io::Output& out, std::uint64_t n, std::string_view one, std::string_view many) {
    out.u64(n).text(" ").text(n == 1 ? one : many);
}

}  // namespace

CheckView::CheckView(io::Output& out, Format format) : out_(out), format_(format) {
    out_.dec();
}

void CheckView::begin_file(std::string_view, std::int64_t) {
    if (format_ == Format::json)
        out_.text("{\"findings\":[");
}

void CheckView::finding(const decode::Finding& f) {
    const bool first = errors_ + warnings_ == 0;
    (f.severity == decode::Severity::error ? errors_ : warnings_) += 1;
    if (format_ == Format::text) {
        out_.text("0x").hex().i64(f.offset).dec().text(": ").text(severity_name(f.severity));
        out_.text(": ").text(f.message).end_line();
        return;
    }
    out_.text(first ? "\n{\"offset\":" : ",\n{\"offset\":").i64(f.offset);
    out_.text(",\"severity\":\"").text(severity_name(f.severity)).text("\",\"message\":");
    view::write_json_string(out_, f.message);
    out_.text(",\"code\":\"").text(f.code).text("\"}");
}

void CheckView::end_file(const decode::FileSummary& summary) {
    if (format_ == Format::json) {
        out_.text("],\"errors\":").u64(errors_).text(",\"warnings\":").u64(warnings_);
        out_.text(",\"packets\":").u64(summary.packets).text("}").end_line();
        return;
    }
    count(out_, errors_, "error", "errors");
    out_.text(", ");
    count(out_, warnings_, "warning", "warnings");
    out_.text(" in ");
    count(out_, summary.packets, "packet", "packets");
    out_.end_line();
}

}  // namespace asfinspect::check
