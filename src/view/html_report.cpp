#include "view/html_report.hpp"

#include <algorithm>
#include <cstdio>
#include <string>

#include "answers/measures.hpp"
#include "view/format.hpp"
#include "view/summary_writers.hpp"

namespace asfinspect::view {

namespace {

using answers::Span;
using answers::StreamSpan;

// The plots' frame, in SVG units: the data fill [kLeft, kRight] × [kTop, kBottom].
constexpr double kWidth = 960;
constexpr double kHeight = 190;
constexpr double kLeft = 70;
constexpr double kRight = 940;
constexpr double kTop = 10;
constexpr double kBottom = 160;
constexpr std::uint64_t kShortestInterval = 100;  // ms

constexpr std::string_view kStyle =
    "body{font:14px/1.4 sans-serif;margin:1.5em auto;max-width:1000px;color:#222}"
    "h1{font-size:1.4em;word-break:break-all}h2{font-size:1.15em;margin-top:1.6em;"
    "border-bottom:1px solid #ccc}pre{background:#f6f6f6;padding:.6em;overflow-x:auto}"
    "table{border-collapse:collapse}td,th{border:1px solid #ccc;padding:2px 6px;"
    "text-align:left;vertical-align:top}td.n{text-align:right}svg{display:block;width:100%;"
    "height:auto}svg text{font:11px sans-serif;fill:#444}.error{color:#b00}"
    ".warning{color:#b60}.key span{display:inline-block;width:1.2em;height:.7em;"
    "margin:0 .3em 0 1em}";

// Colours of the series of each stream, in turn.
constexpr std::string_view kColours[] = {"#1f77b4", "#2ca02c", "#9467bd", "#8c564b",
                                         "#e377c2", "#17becf", "#bcbd22", "#7f7f7f"};

std::string_view colour_of(std::size_t i) {
    return kColours[i % std::size(kColours)];
}

void html(io::Output& out, std::string_view text) {
    std::size_t run = 0;
    // Each pass writes the text up to a character HTML gives a meaning, then
    // that character escaped.
    for (std::size_t i = 0; i < text.size(); ++i) {
        std::string_view escaped;
        switch (text[i]) {
            case '&':
                escaped = "&amp;";
                break;
            case '<':
                escaped = "&lt;";
                break;
            case '>':
                escaped = "&gt;";
                break;
            case '"':
                escaped = "&quot;";
                break;
            default:
                continue;
        }
        out.text(text.substr(run, i - run)).text(escaped);
        run = i + 1;
    }
    out.text(text.substr(run));
}

// A coordinate or value, to one decimal.
void real(io::Output& out, double v) {
    char text[32];
    const int n = std::snprintf(text, sizeof text, "%.1f", v);
    out.text(std::string_view(text, static_cast<std::size_t>(std::max(n, 0))));
}

// Bytes sent over `ms` as bit/s.
std::uint64_t bitrate(std::uint64_t bytes, std::uint64_t ms) {
    return answers::bitrate(bytes, answers::ticks_of_ms(static_cast<std::int64_t>(ms))).value_or(0);
}

// A stream's peak among `peaks`, raised to `rate`.
void keep_peak(std::vector<std::pair<std::uint8_t, std::uint64_t>>& peaks, std::uint8_t stream,
               std::uint64_t rate) {
    const auto hit =
        std::find_if(peaks.begin(), peaks.end(), [&](const auto& p) { return p.first == stream; });
    if (hit == peaks.end())
        peaks.emplace_back(stream, rate);
    else
        hit->second = std::max(hit->second, rate);
}

const StreamSpan* find_stream(const Span& span, std::uint8_t n) {
    for (const StreamSpan& s : span.streams) {
        if (s.stream == n)
            return &s;
    }
    return nullptr;
}

struct Series {
    std::string name;
    std::string_view colour;
    std::vector<std::pair<double, double>> points;  // ms, value
    bool dashed = false;
};

// A plot of series over time, 0 to `x_max` ms, values `y_min` to `y_max`,
// with a dashed line at each of `markers` (ms, and a finding's number).
void plot(io::Output& out, std::string_view id, std::string_view unit, double x_max, double y_min,
          double y_max, const std::vector<Series>& series,
          const std::vector<std::pair<double, std::size_t>>& markers) {
    x_max = std::max(x_max, 1.0);
    if (y_max <= y_min)
        y_max = y_min + 1;
    const auto x = [&](double ms) { return kLeft + ms / x_max * (kRight - kLeft); };
    const auto y = [&](double v) {
        return kBottom - (std::clamp(v, y_min, y_max) - y_min) / (y_max - y_min) * (kBottom - kTop);
    };
    out.text("<p class=\"key\">");
    for (const Series& s : series)
        out.text("<span style=\"background:").text(s.colour).text("\"></span>").text(s.name);
    out.text("</p>\n<svg id=\"").text(id).text("\" class=\"plot\" viewBox=\"0 0 ");
    real(out, kWidth);
    out.text(" ");
    real(out, kHeight);
    out.text("\" role=\"img\"><rect x=\"").number(static_cast<std::uint64_t>(kLeft));
    out.text("\" y=\"").number(static_cast<std::uint64_t>(kTop)).text("\" width=\"");
    real(out, kRight - kLeft);
    out.text("\" height=\"");
    real(out, kBottom - kTop);
    out.text("\" fill=\"#fcfcfc\" stroke=\"#999\"/>");
    const auto label = [&](double lx, double ly, std::string_view anchor, std::string_view text) {
        out.text("<text x=\"");
        real(out, lx);
        out.text("\" y=\"");
        real(out, ly);
        out.text("\" text-anchor=\"").text(anchor).text("\">").text(text).text("</text>");
    };
    char text[64];
    std::snprintf(text, sizeof text, "%.6g %s", y_max, std::string(unit).c_str());
    label(kLeft - 4, kTop + 8, "end", text);
    std::snprintf(text, sizeof text, "%.6g", y_min);
    label(kLeft - 4, kBottom, "end", text);
    label(kLeft, kBottom + 16, "start", "0 s");
    std::snprintf(text, sizeof text, "%.1f s", x_max / 1000);
    label(kRight, kBottom + 16, "end", text);
    for (const auto& [ms, number] : markers) {
        out.text("<a href=\"#finding-").number(number).text("\"><line class=\"marker\" x1=\"");
        real(out, x(ms));
        out.text("\" x2=\"");
        real(out, x(ms));
        out.text("\" y1=\"").number(static_cast<std::uint64_t>(kTop)).text("\" y2=\"");
        out.number(static_cast<std::uint64_t>(kBottom));
        out.text("\" stroke=\"#d62728\" stroke-dasharray=\"2 2\"><title>finding ").number(number);
        out.text("</title></line></a>");
    }
    for (const Series& s : series) {
        out.text("<polyline class=\"series\" data-points=\"").number(s.points.size());
        out.text("\" fill=\"none\" stroke=\"").text(s.colour).text("\"");
        if (s.dashed)
            out.text(" stroke-dasharray=\"6 3\"");
        out.text(" points=\"");
        for (const auto& [ms, v] : s.points) {
            real(out, x(ms));
            out.text(",");
            real(out, y(v));
            out.text(" ");
        }
        out.text("\"><title>");
        html(out, s.name);
        out.text("</title></polyline>");
    }
    out.text("</svg>\n");
}

}  // namespace

HtmlReport::HtmlReport(io::Output& out) : Collector(out) {}

// Intervals to fill the plots once as declared; doubled if the file runs
// longer.
std::optional<std::uint64_t> HtmlReport::interval_ms(std::optional<std::uint64_t> duration) {
    const std::uint64_t shown = duration.value_or(0) / 10'000;
    base_ = std::max(kShortestInterval, (shown + kBins - 1) / kBins);
    width_ = base_;
    return base_;
}

void HtmlReport::answered(const answers::FileAnswers& a) {
    errors_ = a.verdict.errors;
    warnings_ = a.verdict.warnings;
    write(a);
}

// Keeps an interval in its point: when the points would pass kBins, they
// are merged in pairs, keeping their peaks.
void HtmlReport::interval(const answers::Span& span) {
    // Each pass halves the points, until the interval's falls among them.
    while (span.start / width_ >= kBins) {
        width_ *= 2;
        std::vector<Bin> merged((bins_.size() + 1) / 2);
        for (std::size_t i = 0; i < bins_.size(); ++i) {
            Bin& into = merged[i / 2];
            into.span.merge(bins_[i].span);
            for (const auto& peak : bins_[i].peaks)
                keep_peak(into.peaks, peak.first, peak.second);
        }
        bins_ = std::move(merged);
        for (std::size_t i = 0; i < bins_.size(); ++i) {
            bins_[i].span.start = i * width_;
            bins_[i].span.end = (i + 1) * width_;
        }
    }
    const std::size_t index = span.start / width_;
    // Each pass adds an empty point, up to the interval's.
    while (bins_.size() <= index) {
        Bin& b = bins_.emplace_back();
        b.span.start = (bins_.size() - 1) * width_;
        b.span.end = bins_.size() * width_;
    }
    Bin& bin = bins_[index];
    bin.span.merge(span);
    bin.span.start = index * width_;
    bin.span.end = (index + 1) * width_;
    for (const StreamSpan& s : span.streams)
        keep_peak(bin.peaks, s.stream, bitrate(s.bytes, base_));
}

std::optional<std::uint64_t> HtmlReport::time_of(std::int64_t offset,
                                                 const answers::FileAnswers& a) const {
    if (offset < a.first_packet || offset >= a.packets_end)
        return std::nullopt;
    std::optional<std::uint64_t> time;
    // Each pass looks at one point: the last whose first packet is at or
    // before the offset holds it.
    for (const Bin& b : bins_) {
        if (b.span.first_offset >= 0 && b.span.first_offset <= offset)
            time = b.span.start;
    }
    return time;
}

void HtmlReport::write(const answers::FileAnswers& a) {
    const std::string_view path = a.path;
    const std::uint64_t errors = a.verdict.errors;
    const std::uint64_t warnings = a.verdict.warnings;
    out_.text("<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">");
    out_.text("<meta name=\"viewport\" content=\"width=device-width\"><title>");
    html(out_, path);
    out_.text(" \xE2\x80\x94 asfinspect</title><style>")
        .text(kStyle)
        .text("</style></head><body>\n");
    out_.text("<h1>");
    html(out_, path);
    out_.text("</h1>\n<p class=\"").text(errors != 0 ? "error" : warnings != 0 ? "warning" : "");
    out_.text("\" id=\"verdict\">").number(errors).text(errors == 1 ? " error, " : " errors, ");
    out_.number(warnings).text(warnings == 1 ? " warning" : " warnings").text("</p>\n");
    out_.text("<h2>Summary</h2>\n<pre id=\"summary\">");
    {
        auto summary = io::Output::memory();
        decode::StreamSet every;
        write_summary_text(summary, a, every.set());
        html(out_, summary.text_so_far());
    }
    out_.text("</pre>\n");
    write_map(a);
    write_streams(a);
    write_plots(a);
    write_findings(a);
    out_.text("</body></html>\n");
}

void HtmlReport::write_map(const answers::FileAnswers& a) {
    const std::int64_t size = a.size;
    out_.text("<h2>Map of the file</h2>\n<p>To scale, ");
    write_grouped(out_, static_cast<std::uint64_t>(std::max<std::int64_t>(size, 0)));
    out_.text(
        " bytes: the top-level objects, the objects in the header below them, and the "
        "findings (errors red, warnings orange) at their offsets.</p>\n");
    out_.text("<svg id=\"map\" viewBox=\"0 0 1000 72\" role=\"img\">");
    const double scale = size > 0 ? 1000.0 / static_cast<double>(size) : 0;
    const auto clamp = [&](std::int64_t v) { return std::clamp<std::int64_t>(v, 0, size); };
    for (const answers::PlacedObject& p : a.objects) {
        // A size past the file (or past 2^63, read as below 0) ends there.
        const std::int64_t end =
            p.size < 0 || p.offset > size - p.size ? size : clamp(p.offset + p.size);
        const double x = static_cast<double>(clamp(p.offset)) * scale;
        const double w = std::max(static_cast<double>(end - clamp(p.offset)) * scale, 0.5);
        const std::string_view fill = p.name.find("Header") != std::string_view::npos  ? "#6baed6"
                                      : p.name.find("Data") != std::string_view::npos  ? "#74c476"
                                      : p.name.find("Index") != std::string_view::npos ? "#fd8d3c"
                                                                                       : "#bdbdbd";
        out_.text("<rect class=\"object\" x=\"");
        real(out_, x);
        out_.text(p.depth == 1 ? "\" y=\"2\" height=\"26\" width=\""
                               : "\" y=\"31\" height=\"12\" width=\"");
        real(out_, w);
        out_.text("\" fill=\"").text(fill).text("\" stroke=\"#fff\" stroke-width=\"0.3\"><title>");
        html(out_, p.name);
        out_.text(" at 0x").hex_number(static_cast<std::uint64_t>(p.offset)).text(", ");
        out_.signed_number(p.size).text(" bytes</title></rect>");
    }
    if (a.packets_end > a.first_packet && a.packet_size != 0) {
        out_.text("<text x=\"");
        real(out_, static_cast<double>(clamp(a.first_packet)) * scale + 4);
        out_.text("\" y=\"19\">data packets</text>");
    }
    for (std::size_t i = 0; i < a.findings.size(); ++i) {
        const answers::ListedFinding& f = a.findings[i];
        out_.text("<a href=\"#finding-").number(i).text("\"><rect class=\"finding\" x=\"");
        real(out_, static_cast<double>(clamp(f.offset)) * scale - 0.5);
        out_.text("\" y=\"47\" width=\"1.5\" height=\"22\" fill=\"");
        out_.text(f.severity == decode::Severity::error ? "#d62728" : "#ff9f1c").text("\"><title>");
        out_.text("0x").hex_number(static_cast<std::uint64_t>(f.offset)).text(" ").text(f.code);
        out_.text("</title></rect></a>");
    }
    out_.text("</svg>\n");
    if (a.objects_not_placed != 0)
        out_.number(a.objects_not_placed).text(" more objects are not drawn.\n");
}

void HtmlReport::write_streams(const answers::FileAnswers& a) {
    out_.text("<h2>Delivery as declared</h2>\n<p>Preroll ");
    if (a.preroll_ms)
        out_.number(*a.preroll_ms).text(" ms");
    else
        out_.text("unknown");
    out_.text(", maximum bitrate ");
    if (a.maximum_bitrate)
        out_.number(*a.maximum_bitrate).text(" bit/s.</p>\n");
    else
        out_.text("not declared.</p>\n");
    out_.text(
        "<table id=\"streams\"><tr><th>stream</th><th>type</th><th>bitrate (bit/s)</th>"
        "<th>leaky bucket R, B, F</th><th>alternate R, B, F</th></tr>\n");
    for (const answers::StreamAnswers& s : a.streams) {
        out_.text("<tr><td class=\"n\">").number(s.number).text("</td><td>");
        out_.text(stream_type_name(s.kind)).text("</td><td class=\"n\">");
        if (s.bitrate_declared)
            out_.number(*s.bitrate_declared);
        out_.text("</td><td>");
        if (s.bucket) {
            const answers::LeakyBucket& b = *s.bucket;
            const answers::LeakyBucket& alt = *s.alternate_bucket;
            out_.number(b.bitrate).text(" bit/s, ").number(b.buffer_ms).text(" ms, ");
            out_.number(b.initial_fullness_ms).text(" ms</td><td>").number(alt.bitrate);
            out_.text(" bit/s, ").number(alt.buffer_ms).text(" ms, ");
            out_.number(alt.initial_fullness_ms).text(" ms");
        } else {
            out_.text("none</td><td>");
        }
        out_.text("</td></tr>\n");
    }
    out_.text("</table>\n");
    if (a.bucket_pairs.empty())
        return;
    out_.text("<p id=\"bucket-pairs\">ASFLeakyBucketPairs, bitrate and buffer window:");
    for (const decode::LeakyBucketPairFacts& p : a.bucket_pairs)
        out_.text(" ").number(p.bitrate).text(" bit/s in ").number(p.window).text(" ms;");
    if (a.bucket_pairs_not_kept != 0)
        out_.text(" and ").number(a.bucket_pairs_not_kept).text(" more");
    out_.text("</p>\n");
}

void HtmlReport::write_plots(const answers::FileAnswers& a) {
    out_.text("<h2>Delivery over time</h2>\n<p>By send time, in ").number(bins_.size());
    out_.text(" points of ");
    write_seconds(out_, width_, decode::Unit::milliseconds);
    out_.text(" s; each point keeps the peaks of the intervals of ");
    write_seconds(out_, base_, decode::Unit::milliseconds);
    out_.text(" s it holds. Dashed red lines are findings in the packets.</p>\n");
    const double x_max = static_cast<double>(bins_.size() * width_);
    Markers markers;
    for (std::size_t i = 0; i < a.findings.size(); ++i) {
        if (const auto t = time_of(a.findings[i].offset, a))
            markers.emplace_back(static_cast<double>(*t), i);
    }
    const std::size_t streams = a.streams.size();
    for (std::size_t i = 0; i < std::min(streams, kMaxPlotted); ++i)
        write_stream_plots(a.streams[i], x_max, markers);
    if (streams > kMaxPlotted) {
        out_.text("<p>").number(streams - kMaxPlotted);
        out_.text(" more streams are not plotted.</p>\n");
    }
    write_lead_plot(a, x_max, markers);
}

// A stream's bitrate over time against the declared one, and its leaky
// bucket against its size.
void HtmlReport::write_stream_plots(const answers::StreamAnswers& s, double x_max,
                                    const Markers& markers) {
    const std::uint8_t n = s.number;
    Series mean{"mean bit/s", colour_of(0), {}, false};
    Series peak{"peak bit/s", colour_of(1), {}, false};
    Series bucket{"bucket at its fullest, % of its size", colour_of(2), {}, false};
    double y_max = 0;
    for (const Bin& b : bins_) {
        const StreamSpan* part = find_stream(b.span, n);
        const auto t = static_cast<double>(b.span.start);
        const double rate = part != nullptr ? static_cast<double>(bitrate(part->bytes, width_)) : 0;
        double top = rate;
        for (const auto& [stream, p] : b.peaks) {
            if (stream == n)
                top = static_cast<double>(p);
        }
        mean.points.emplace_back(t, rate);
        peak.points.emplace_back(t, top);
        y_max = std::max(y_max, top);
        if (part != nullptr && part->bucket_limit != 0) {
            bucket.points.emplace_back(t, 100.0 * static_cast<double>(part->bucket_max) /
                                              static_cast<double>(part->bucket_limit));
        }
    }
    std::vector<Series> rates{mean, peak};
    if (s.bitrate_limit) {
        const auto declared = static_cast<double>(*s.bitrate_limit);
        rates.push_back({"declared bit/s", "#d62728", {{0, declared}, {x_max, declared}}, true});
        y_max = std::max(y_max, declared);
    }
    out_.text("<h3>Stream ").number(n).text(" (").text(stream_type_name(s.kind));
    out_.text(")</h3>\n");
    plot(out_, "bitrate-" + std::to_string(n), "bit/s", x_max, 0, y_max * 1.1, rates, markers);
    if (bucket.points.empty())
        return;
    double top = 110;
    for (const auto& point : bucket.points)
        top = std::max(top, point.second * 1.05);
    plot(out_, "bucket-" + std::to_string(n), "%", x_max, 0, top,
         {bucket, {"its size", "#d62728", {{0, 100}, {x_max, 100}}, true}}, markers);
}

// The lead of presentation over send time, against the preroll.
void HtmlReport::write_lead_plot(const answers::FileAnswers& a, double x_max,
                                 const Markers& markers) {
    std::vector<Series> leads;
    double low = 0;
    const auto preroll = static_cast<double>(a.preroll_ms.value_or(0));
    double high = preroll;
    for (std::size_t i = 0; i < a.streams.size() && i < kMaxPlotted; ++i) {
        const std::uint8_t n = a.streams[i].number;
        Series lead{"stream " + std::to_string(n) + ": least lead", colour_of(i), {}, false};
        for (const Bin& b : bins_) {
            const StreamSpan* part = find_stream(b.span, n);
            if (part == nullptr || !part->led)
                continue;
            lead.points.emplace_back(static_cast<double>(b.span.start),
                                     static_cast<double>(part->lead_min));
            low = std::min(low, static_cast<double>(part->lead_min));
            high = std::max(high, static_cast<double>(part->lead_max));
        }
        leads.push_back(std::move(lead));
    }
    leads.push_back({"preroll", "#d62728", {{0, preroll}, {x_max, preroll}}, true});
    leads.push_back({"sent when presented (below: late)", "#000", {{0, 0}, {x_max, 0}}, true});
    out_.text(
        "<h3>Presentation against send time</h3>\n<p>How long before its presentation "
        "each stream's data is sent, at the least in each point: the interleaving, and how "
        "much of the preroll it uses.</p>\n");
    plot(out_, "lead", "ms", x_max, low, high * 1.1, leads, markers);
}

void HtmlReport::write_findings(const answers::FileAnswers& a) {
    out_.text("<h2>Findings</h2>\n");
    if (a.findings.empty()) {
        out_.text("<p>None.</p>\n");
        return;
    }
    out_.text(
        "<table id=\"findings\"><tr><th>#</th><th>offset</th><th>severity</th><th>code</th>"
        "<th>message</th></tr>\n");
    for (std::size_t i = 0; i < a.findings.size(); ++i) {
        const answers::ListedFinding& f = a.findings[i];
        const std::string_view severity =
            f.severity == decode::Severity::error ? "error" : "warning";
        out_.text("<tr id=\"finding-").number(i).text("\"><td class=\"n\">").number(i);
        out_.text("</td><td>0x").hex_number(static_cast<std::uint64_t>(f.offset));
        out_.text("</td><td class=\"").text(severity).text("\">").text(severity).text("</td><td>");
        out_.text(f.code).text("</td><td>");
        html(out_, f.message);
        out_.text("</td></tr>\n");
    }
    out_.text("</table>\n");
    if (a.findings_not_listed != 0) {
        out_.text("<p>").number(a.findings_not_listed);
        out_.text(" more findings are counted, not listed.</p>\n");
    }
}

}  // namespace asfinspect::view
