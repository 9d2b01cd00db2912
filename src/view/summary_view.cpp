#include "view/summary_view.hpp"

#include "view/summary_writers.hpp"

namespace asfinspect::view {

SummaryView::SummaryView(io::Output& out, Format format) : Collector(out), format_(format) {
    shown_.set();
}

void SummaryView::write_csv_header(io::Output& out, bool path) {
    write_summary_csv_header(out, path);
}

TagScope scope_of(const answers::TagAnswers& tag, const decode::StreamSet& shown) {
    if (tag.stream == 0)
        return TagScope::file;
    return shown.test(tag.stream) ? TagScope::stream : TagScope::hidden;
}

void SummaryView::answered(const answers::FileAnswers& a) {
    errors_ = a.verdict.errors;
    warnings_ = a.verdict.warnings;
    switch (format_) {
        case Format::text:
            write_summary_text(out_, a, shown_);
            break;
        case Format::json:
            write_summary_json(out_, a, shown_);
            break;
        case Format::csv:
            write_summary_csv(out_, a, shown_, csv_path_);
            break;
    }
}

}  // namespace asfinspect::view
