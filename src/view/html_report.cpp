#include "view/html_report.hpp"

#include <algorithm>
#include <map>
#include <string>

#include "answers/measures.hpp"
#include "view/format.hpp"
#include "view/summary_writers.hpp"

namespace asfinspect::view {

namespace {

using answers::Span;
using answers::StreamSpan;

// The shortest interval when the packets' spacing is unknown, ms.
constexpr std::uint64_t kShortestInterval = 100;

constexpr std::string_view kStyle =
    "body{font:14px/1.4 sans-serif;margin:1.5em auto;max-width:1000px;color:#222}"
    "h1{font-size:1.4em;word-break:break-all}h2{font-size:1.15em;margin-top:1.6em;"
    "border-bottom:1px solid #ccc}h3{font-size:1em;margin:1.2em 0 .2em}"
    "pre{background:#f6f6f6;padding:.6em;overflow-x:auto}"
    "table{border-collapse:collapse}td,th{border:1px solid #ccc;padding:2px 6px;"
    "text-align:left;vertical-align:top}td.n{text-align:right}td.code{white-space:nowrap}"
    "svg{display:block;width:100%;height:auto}svg text{font:11px sans-serif;fill:#333}"
    ".frame{fill:#fff;stroke:#999}.grid{stroke:#e4e4e4}.area{fill-opacity:.3;stroke:none}"
    ".step{fill:none;stroke-width:1.5}.level{stroke:#555;stroke-dasharray:6 3}"
    "text.level{stroke:none;fill:#555}.tip{fill:transparent}.tip:hover{fill:#0001}"
    ".marker{stroke-width:1.5;stroke-dasharray:3 2}.unit{font-weight:bold}"
    ".error{color:#D55E00}.warning{color:#B07800}.key{margin:.2em 0}"
    ".key span{display:inline-block;width:1.6em;height:.7em;margin:0 .3em 0 1em;"
    "vertical-align:middle}:target{background:#ffe9a8}";

// The map's colours by the kind of object.
enum class Family : std::uint8_t {
    header,
    properties,
    tags,
    protection,
    padding,
    data,
    index,
    other
};

struct FamilyStyle {
    Family family;
    std::string_view name;
    std::string_view colour;
};

constexpr FamilyStyle kFamilies[] = {
    {Family::header, "Header Object", "#56B4E9"},
    {Family::properties, "properties of the file and streams", "#CC79A7"},
    {Family::tags, "descriptions, tags, codecs, markers", "#F0E442"},
    {Family::protection, "protection", "#000000"},
    {Family::padding, "padding", "#DDDDDD"},
    {Family::data, "Data Object", "#009E73"},
    {Family::index, "indexes", "#0072B2"},
    {Family::other, "other and unknown objects", "#999999"},
};

Family family_of(asf::ObjectType type) {
    using T = asf::ObjectType;
    switch (type) {
        case T::header:
            return Family::header;
        case T::data:
            return Family::data;
        case T::simple_index:
        case T::index:
        case T::media_object_index:
        case T::timecode_index:
            return Family::index;
        case T::file_properties:
        case T::stream_properties:
        case T::header_extension:
        case T::stream_bitrate_properties:
        case T::bitrate_mutual_exclusion:
        case T::error_correction:
        case T::extended_stream_properties:
        case T::advanced_mutual_exclusion:
        case T::group_mutual_exclusion:
        case T::stream_prioritization:
        case T::bandwidth_sharing:
        case T::language_list:
        case T::index_parameters:
        case T::media_object_index_parameters:
        case T::timecode_index_parameters:
        case T::compatibility:
            return Family::properties;
        case T::codec_list:
        case T::script_command:
        case T::marker:
        case T::content_description:
        case T::extended_content_description:
        case T::content_branding:
        case T::metadata:
        case T::metadata_library:
        case T::xmp:
            return Family::tags;
        case T::content_encryption:
        case T::extended_content_encryption:
        case T::advanced_content_encryption:
        case T::digital_signature:
        case T::content_protection:
            return Family::protection;
        case T::padding:
        case T::index_placeholder:
            return Family::padding;
        case T::unknown:
        case T::header_v2_draft:
        case T::data_v2_draft:
            break;
    }
    return Family::other;
}

const FamilyStyle& style_of(Family f) {
    return kFamilies[static_cast<std::size_t>(f)];
}

// An object's name as people read it: "ASF_Stream_Properties_Object" as
// "Stream Properties".
std::string short_name(std::string_view name) {
    if (name.starts_with("ASF_"))
        name.remove_prefix(4);
    if (name.ends_with("_Object"))
        name.remove_suffix(7);
    std::string text(name);
    std::replace(text.begin(), text.end(), '_', ' ');
    return text;
}

// About the width of text in the map's font, in its units.
constexpr double kCharWidth = 6.2;

// Bits per second for people: "128.3 kb/s".
std::string rate_text(double bits) {
    return std::string(decimal_text(bits / 1000, 1).view()) + " kb/s";
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

// An item of a plot's key: a faint area, a line, or the neutral dashes.
enum class Swatch : std::uint8_t { area, line, area_and_line, level, marker };

void key_item(io::Output& out, Swatch swatch, std::string_view colour, std::string_view text) {
    out.text("<span style=\"");
    switch (swatch) {
        case Swatch::area:
            out.text("background:").text(colour).text("4d");
            break;
        case Swatch::line:
            out.text("height:0;border-top:2px solid ").text(colour);
            break;
        case Swatch::area_and_line:
            out.text("background:").text(colour).text("4d;border-top:2px solid ").text(colour);
            break;
        case Swatch::level:
            out.text("height:0;border-top:2px dashed #555");
            break;
        case Swatch::marker:
            out.text("width:0;height:1em;border-left:2px dashed ").text(colour);
            break;
    }
    out.text("\"></span>");
    write_html(out, text);
}

// The key's items for the findings' markers, by the severities among them.
void marker_keys(io::Output& out, const answers::FileAnswers& a,
                 const std::vector<std::pair<double, std::vector<std::size_t>>>& markers) {
    bool severities[2] = {};
    for (const auto& marker : markers) {
        for (const std::size_t i : marker.second)
            severities[a.findings[i].severity == decode::Severity::error ? 0 : 1] = true;
    }
    if (severities[0])
        key_item(out, Swatch::marker, kErrorColour, "errors");
    if (severities[1])
        key_item(out, Swatch::marker, kWarningColour, "warnings");
}

std::string seconds_text(double ms) {
    return std::string(decimal_text(ms / 1000, 3).view());
}

}  // namespace

HtmlReport::HtmlReport(io::Output& out) : Collector(out) {}

// Intervals a whole number of the usual spacing of packets, that fill the
// plots once as declared; doubled if the file runs longer.
std::optional<std::uint64_t> HtmlReport::interval_ms(std::optional<std::uint64_t> duration) {
    std::optional<std::uint64_t> span;
    if (duration)
        span = *duration / answers::kTicksPerMillisecond;
    base_ = answers::bin_length(packet_spacing_ms(), span, kBins, kShortestInterval);
    width_ = base_;
    shortest_ = packet_spacing_ms() != 0 ? packet_spacing_ms() : base_;
    return base_;
}

void HtmlReport::answered(const answers::FileAnswers& a) {
    errors_ = a.verdict.errors;
    warnings_ = a.verdict.warnings;
    write(a);
}

// Keeps an interval in its bin: when the bins would pass kBins, they are
// merged in pairs, keeping their peaks.
void HtmlReport::interval(const answers::Span& span) {
    // Each pass halves the bins, until the interval's falls among them.
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
    // Each pass adds an empty bin, up to the interval's.
    while (bins_.size() <= index) {
        Bin& b = bins_.emplace_back();
        b.span.start = (bins_.size() - 1) * width_;
        b.span.end = bins_.size() * width_;
    }
    Bin& bin = bins_[index];
    bin.span.merge(span);
    bin.span.start = index * width_;
    bin.span.end = (index + 1) * width_;
    end_ = std::max(end_, span.end);
    const std::uint64_t length = std::max(span.end - std::min(span.start, span.end), shortest_);
    for (const StreamSpan& s : span.streams)
        keep_peak(bin.peaks, s.stream, bitrate(s.bytes, length));
}

double HtmlReport::end_of(const Bin& b) const {
    return static_cast<double>(std::max(std::min(b.span.end, end_), b.span.start));
}

std::string HtmlReport::span_text(const Bin& b) const {
    return seconds_text(static_cast<double>(b.span.start)) + "\xE2\x80\x93" +
           seconds_text(end_of(b)) + " s";
}

std::optional<std::uint64_t> HtmlReport::time_of(std::int64_t offset,
                                                 const answers::FileAnswers& a) const {
    if (offset < a.first_packet || offset >= a.packets_end)
        return std::nullopt;
    std::optional<std::uint64_t> time;
    // Each pass looks at one bin: the last whose first packet is at or
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
    write_html(out_, path);
    out_.text(" \xE2\x80\x94 asfinspect</title><style>")
        .text(kStyle)
        .text("</style></head><body>\n");
    out_.text("<h1>");
    write_html(out_, path);
    out_.text("</h1>\n<p class=\"").text(errors != 0 ? "error" : warnings != 0 ? "warning" : "");
    out_.text("\" id=\"verdict\">").number(errors).text(errors == 1 ? " error, " : " errors, ");
    out_.number(warnings).text(warnings == 1 ? " warning" : " warnings").text("</p>\n");
    out_.text("<h2>Summary</h2>\n<pre id=\"summary\">");
    {
        auto summary = io::Output::memory();
        decode::StreamSet every;
        write_summary_text(summary, a, every.set());
        write_html(out_, summary.text_so_far());
    }
    out_.text("</pre>\n");
    write_map(a);
    write_streams(a);
    write_plots(a);
    write_findings(a);
    out_.text("</body></html>\n");
}

namespace {

// The map's rows, in its units: 1000 wide.
constexpr double kMapWidth = 1000;
constexpr double kFileRow = 2;
constexpr double kHeaderRow = 42;
constexpr double kRowHeight = 24;
constexpr double kLanes = 3;
constexpr double kLaneHeight = 14;
constexpr double kMarkerWidth = 4;
constexpr double kMarkerGap = 2;

// A marker of findings on the map: those whose places fall together.
struct MapMarker {
    double x = 0;
    int lane = 0;
    bool error = false;
    std::vector<std::size_t> findings;  // indices among the file's
};

// Stacks the findings' markers in lanes so that none covers another; a
// finding with no room in any lane joins the marker it falls on, which
// counts it.
std::vector<MapMarker> place_markers(const answers::FileAnswers& a, double scale) {
    std::vector<std::size_t> order(a.findings.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](std::size_t x, std::size_t y) {
        return a.findings[x].offset < a.findings[y].offset;
    });
    std::vector<MapMarker> markers;
    std::vector<std::size_t> last_in_lane(static_cast<std::size_t>(kLanes), SIZE_MAX);
    for (const std::size_t i : order) {
        const answers::ListedFinding& f = a.findings[i];
        const double at = std::clamp(
            static_cast<double>(std::max<std::int64_t>(f.offset, 0)) * scale - kMarkerWidth / 2,
            0.0, kMapWidth - kMarkerWidth);
        const bool error = f.severity == decode::Severity::error;
        std::size_t lane = 0;
        // Each pass tries a lane, until one has room at `at`.
        for (; lane < last_in_lane.size(); ++lane) {
            const std::size_t last = last_in_lane[lane];
            if (last == SIZE_MAX || markers[last].x + kMarkerWidth + kMarkerGap <= at)
                break;
        }
        if (lane == last_in_lane.size()) {
            MapMarker& into = markers[last_in_lane.back()];
            into.findings.push_back(i);
            into.error = into.error || error;
            continue;
        }
        last_in_lane[lane] = markers.size();
        markers.push_back({at, static_cast<int>(lane), error, {i}});
    }
    return markers;
}

}  // namespace

void HtmlReport::write_map(const answers::FileAnswers& a) {
    const std::int64_t size = std::max<std::int64_t>(a.size, 0);
    out_.text("<h2>Map of the file</h2>\n<p>To scale, ");
    write_grouped(out_, static_cast<std::uint64_t>(size));
    out_.text(" bytes: the top-level objects");
    const auto header = std::find_if(a.objects.begin(), a.objects.end(), [](const auto& p) {
        return p.depth == 1 && p.type == asf::ObjectType::header;
    });
    const bool header_row = header != a.objects.end() && header->size > 0;
    if (header_row)
        out_.text(", the Header Object enlarged below them with its objects");
    if (!a.findings.empty()) {
        out_.text(
            ", and the findings at their offsets (errors vermilion, warnings orange; stacked "
            "where they would cover each other, counted where more fall together)");
    }
    out_.text(".</p>\n");
    const double scale = size > 0 ? kMapWidth / static_cast<double>(size) : 0;
    const std::vector<MapMarker> markers = place_markers(a, scale);
    int lanes = 0;
    bool counted = false;
    for (const MapMarker& m : markers) {
        lanes = std::max(lanes, m.lane + 1);
        counted = counted || m.findings.size() > 1;
    }
    const double findings_top = (header_row ? kHeaderRow : kFileRow) + kRowHeight + 8;
    const double height = findings_top + lanes * kLaneHeight + (counted ? 12 : 0) + 2;
    out_.text("<svg id=\"map\" viewBox=\"0 0 1000 ");
    write_coordinate(out_, height);
    out_.text("\" role=\"img\">");
    bool drawn[std::size(kFamilies)] = {};
    // An object as a block of its row: [from, to) of the row's bytes, drawn
    // across [0, kMapWidth); labelled where its name fits.
    const auto block = [&](const answers::PlacedObject& p, std::int64_t from, std::int64_t to,
                           double row) {
        const double row_scale = to > from ? kMapWidth / static_cast<double>(to - from) : 0;
        const auto clamp = [&](std::int64_t v) { return std::clamp<std::int64_t>(v, from, to); };
        // A size past the row (or past 2^63, read as below 0) ends there.
        const std::int64_t end =
            p.size < 0 || p.offset > to - p.size ? to : clamp(p.offset + p.size);
        const double x = static_cast<double>(clamp(p.offset) - from) * row_scale;
        const double w = std::max(static_cast<double>(end - clamp(p.offset)) * row_scale, 0.5);
        const Family family = family_of(p.type);
        drawn[static_cast<std::size_t>(family)] = true;
        out_.text("<rect class=\"object\" x=\"");
        write_coordinate(out_, x);
        out_.text("\" y=\"");
        write_coordinate(out_, row);
        out_.text("\" width=\"");
        write_coordinate(out_, w);
        out_.text("\" height=\"");
        write_coordinate(out_, kRowHeight);
        out_.text("\" fill=\"").text(style_of(family).colour);
        out_.text("\" stroke=\"#fff\" stroke-width=\"0.5\"><title>");
        write_html(out_, p.name);
        out_.text(" at 0x").hex_number(static_cast<std::uint64_t>(p.offset)).text(", ");
        out_.signed_number(p.size).text(" bytes</title></rect>");
        const std::string name = short_name(p.name);
        if (static_cast<double>(name.size()) * kCharWidth + 6 <= w) {
            out_.text("<text class=\"label\" x=\"");
            write_coordinate(out_, x + 3);
            out_.text("\" y=\"");
            write_coordinate(out_, row + 16);
            out_.text("\"").text(family == Family::protection ? " style=\"fill:#fff\"" : "");
            out_.text(">");
            write_html(out_, name);
            out_.text("</text>");
        }
    };
    for (const answers::PlacedObject& p : a.objects) {
        if (p.depth == 1)
            block(p, 0, size, kFileRow);
    }
    if (header_row) {
        const std::int64_t from = std::clamp<std::int64_t>(header->offset, 0, size);
        const std::int64_t to =
            header->offset > size - header->size
                ? size
                : std::clamp<std::int64_t>(header->offset + header->size, 0, size);
        // Lines from the header's place in the file to its enlargement.
        for (const auto& [file_x, row_x] :
             {std::pair(static_cast<double>(from) * scale, 0.0),
              std::pair(static_cast<double>(to) * scale, kMapWidth)}) {
            out_.text("<line x1=\"");
            write_coordinate(out_, file_x);
            out_.text("\" y1=\"");
            write_coordinate(out_, kFileRow + kRowHeight);
            out_.text("\" x2=\"");
            write_coordinate(out_, row_x);
            out_.text("\" y2=\"");
            write_coordinate(out_, kHeaderRow);
            out_.text("\" stroke=\"#999\" stroke-width=\"0.5\"/>");
        }
        for (const answers::PlacedObject& p : a.objects) {
            if (p.depth == 2 && p.offset >= from && p.offset < to)
                block(p, from, to, kHeaderRow);
        }
    }
    for (const MapMarker& m : markers) {
        out_.text("<a href=\"#finding-").number(m.findings.front() + 1);
        out_.text("\"><rect class=\"finding\" data-findings=\"");
        for (std::size_t j = 0; j < m.findings.size(); ++j)
            out_.text(j == 0 ? "" : " ").number(m.findings[j] + 1);
        out_.text("\" x=\"");
        write_coordinate(out_, m.x);
        out_.text("\" y=\"");
        write_coordinate(out_, findings_top + m.lane * kLaneHeight);
        out_.text("\" width=\"");
        write_coordinate(out_, kMarkerWidth);
        out_.text("\" height=\"");
        write_coordinate(out_, kLaneHeight - 2);
        out_.text("\" fill=\"").text(m.error ? kErrorColour : kWarningColour).text("\"><title>");
        for (std::size_t j = 0; j < m.findings.size(); ++j) {
            const answers::ListedFinding& f = a.findings[m.findings[j]];
            out_.text(j == 0 ? "" : "\n").text("#").number(m.findings[j] + 1).text(" at 0x");
            out_.hex_number(static_cast<std::uint64_t>(f.offset)).text(" ").text(f.code);
        }
        out_.text("</title></rect></a>");
        if (m.findings.size() > 1) {
            out_.text("<text class=\"count\" x=\"");
            write_coordinate(out_, std::min(m.x, kMapWidth - 24));
            out_.text("\" y=\"");
            write_coordinate(out_, findings_top + lanes * kLaneHeight + 10);
            out_.text("\">\xC3\x97").number(m.findings.size()).text("</text>");
        }
    }
    out_.text("</svg>\n<p class=\"key\">");
    for (std::size_t f = 0; f < std::size(kFamilies); ++f) {
        if (drawn[f])
            key_item(out_, Swatch::area_and_line, kFamilies[f].colour, kFamilies[f].name);
    }
    out_.text("</p>\n");
    if (a.objects_not_placed != 0) {
        out_.text("<p>").number(a.objects_not_placed).text(" more objects are not drawn.</p>\n");
    }
    if (a.objects.empty())
        return;
    out_.text(
        "<table id=\"objects\"><tr><th>offset</th><th>size (bytes)</th><th>object</th></tr>\n");
    for (const answers::PlacedObject& p : a.objects) {
        out_.text("<tr><td class=\"n\">0x").hex_number(static_cast<std::uint64_t>(p.offset));
        out_.text("</td><td class=\"n\">");
        if (p.size >= 0)
            write_grouped(out_, static_cast<std::uint64_t>(p.size));
        else
            out_.text("past 2^63");
        out_.text("</td><td>").text(p.depth > 1 ? "&#160;&#160;&#160;&#160;" : "");
        write_html(out_, short_name(p.name));
        out_.text("</td></tr>\n");
    }
    out_.text("</table>\n");
}

void HtmlReport::write_streams(const answers::FileAnswers& a) {
    out_.text("<h2>Delivery as declared</h2>\n<p>Preroll ");
    if (a.preroll_ms)
        out_.text(seconds_text(static_cast<double>(*a.preroll_ms))).text(" s");
    else
        out_.text("unknown");
    out_.text(", maximum bitrate ");
    if (a.maximum_bitrate)
        out_.text(rate_text(static_cast<double>(*a.maximum_bitrate))).text(".</p>\n");
    else
        out_.text("not declared.</p>\n");
    if (a.streams.empty()) {
        out_.text("<p>No stream is declared.</p>\n");
        return;
    }
    const bool buckets = std::any_of(a.streams.begin(), a.streams.end(),
                                     [](const answers::StreamAnswers& s) { return s.bucket; });
    if (buckets) {
        out_.text(
            "<p>A stream's leaky bucket: R, the bitrate it is sent at; B, the size of its "
            "buffer, as the time R takes to fill it; F, how full the buffer is when sending "
            "starts, as a time too.</p>\n");
    }
    out_.text("<table id=\"streams\"><tr><th>stream</th><th>type</th><th>average bitrate</th>");
    if (buckets)
        out_.text("<th>leaky bucket R, B, F</th><th>alternate R, B, F</th>");
    out_.text("</tr>\n");
    const auto bucket = [&](const answers::LeakyBucket& b) {
        out_.text(rate_text(b.bitrate)).text(", ");
        out_.text(seconds_text(b.buffer_ms)).text(" s, ");
        out_.text(seconds_text(b.initial_fullness_ms)).text(" s");
    };
    for (const answers::StreamAnswers& s : a.streams) {
        out_.text("<tr><td class=\"n\">").number(s.number).text("</td><td>");
        out_.text(stream_type_name(s.kind)).text("</td><td class=\"n\">");
        if (s.bitrate_declared)
            out_.text(rate_text(*s.bitrate_declared));
        else
            out_.text("not declared");
        if (buckets) {
            out_.text("</td><td>");
            if (s.bucket) {
                bucket(*s.bucket);
                out_.text("</td><td>");
                bucket(*s.alternate_bucket);
            } else {
                out_.text("not declared</td><td>not declared");
            }
        }
        out_.text("</td></tr>\n");
    }
    out_.text("</table>\n");
    if (a.bucket_pairs.empty())
        return;
    out_.text("<p id=\"bucket-pairs\">ASFLeakyBucketPairs, bitrate and buffer window:");
    for (const decode::LeakyBucketPairFacts& p : a.bucket_pairs) {
        out_.text(" ").text(rate_text(p.bitrate)).text(" in ");
        out_.text(seconds_text(p.window)).text(" s;");
    }
    if (a.bucket_pairs_not_kept != 0)
        out_.text(" and ").number(a.bucket_pairs_not_kept).text(" more");
    out_.text("</p>\n");
}

void HtmlReport::write_plots(const answers::FileAnswers& a) {
    out_.text("<h2>Delivery over time</h2>\n");
    const auto sent =
        std::count_if(bins_.begin(), bins_.end(), [](const Bin& b) { return b.span.packets != 0; });
    if (sent == 0) {
        out_.text("<p>No data packet was read: there is no delivery to plot.</p>\n");
        return;
    }
    if (sent == 1) {
        out_.text("<p>Every packet is sent within ");
        out_.text(seconds_text(static_cast<double>(width_)))
            .text(" s of the first: there is no delivery over time to plot.</p>\n");
        return;
    }
    out_.text("<p>By send time, in bins of ").text(seconds_text(static_cast<double>(width_)));
    out_.text(" s");
    if (width_ != base_) {
        out_.text(", each with the highest bitrate over ");
        out_.text(seconds_text(static_cast<double>(base_))).text(" s in it");
    }
    out_.text(". Hover over a bin for its values.");
    if (!a.findings.empty())
        out_.text(" Dashed lines are findings in the packets, linked to them.");
    out_.text("</p>\n");
    Markers markers;
    for (std::size_t i = 0; i < a.findings.size(); ++i) {
        const auto t = time_of(a.findings[i].offset, a);
        if (!t)
            continue;
        const auto at = static_cast<double>(*t);
        if (markers.empty() || markers.back().first != at)
            markers.emplace_back(at, std::vector<std::size_t>{});
        markers.back().second.push_back(i);
    }
    const std::size_t streams = a.streams.size();
    for (std::size_t i = 0; i < std::min(streams, kMaxPlotted); ++i)
        write_stream_plots(a.streams[i], i, a, markers);
    if (streams > kMaxPlotted) {
        out_.text("<p>").number(streams - kMaxPlotted);
        out_.text(" more streams are not plotted.</p>\n");
    }
    write_lead_plot(a, markers);
}

void HtmlReport::write_markers(SvgPlot& plot, const answers::FileAnswers& a,
                               const Markers& markers) const {
    for (const auto& [at, findings] : markers) {
        bool error = false;
        std::string title;
        for (const std::size_t i : findings) {
            const answers::ListedFinding& f = a.findings[i];
            error = error || f.severity == decode::Severity::error;
            title.append(title.empty() ? "" : "\n").append("#").append(std::to_string(i + 1));
            title.append(" ").append(f.code);
        }
        plot.marker(at, findings.front() + 1, error, title);
    }
}

// A stream's bitrate over time against the declared one, and its leaky
// bucket against its size.
void HtmlReport::write_stream_plots(const answers::StreamAnswers& s, std::size_t i,
                                    const answers::FileAnswers& a, const Markers& markers) {
    const std::uint8_t n = s.number;
    out_.text("<h3>Stream ").number(n).text(" (").text(stream_type_name(s.kind)).text(")</h3>\n");
    const bool carried = std::any_of(bins_.begin(), bins_.end(), [&](const Bin& b) {
        const StreamSpan* part = find_stream(b.span, n);
        return part != nullptr && part->bytes != 0;
    });
    if (!carried) {
        out_.text("<p>No packet carries data of this stream.</p>\n");
        return;
    }
    const std::string_view colour = series_colour(i);
    std::vector<Step> mean;
    std::vector<Step> peak;
    std::vector<Step> bucket;
    double top = 0;
    for (const Bin& b : bins_) {
        const StreamSpan* part = find_stream(b.span, n);
        const auto start = static_cast<double>(b.span.start);
        const double end = end_of(b);
        const auto length = static_cast<std::uint64_t>(end - start);
        const double rate =
            part != nullptr ? static_cast<double>(bitrate(part->bytes, std::max(length, shortest_)))
                            : 0;
        double highest = rate;
        for (const auto& [stream, p] : b.peaks) {
            if (stream == n)
                highest = std::max(rate, static_cast<double>(p));
        }
        mean.push_back({start, end, rate});
        peak.push_back({start, end, highest});
        top = std::max(top, highest);
        if (part != nullptr && part->bucket_limit != 0) {
            bucket.push_back({start, end,
                              100.0 * static_cast<double>(part->bucket_max) /
                                  static_cast<double>(part->bucket_limit)});
        }
    }
    const bool merged = width_ != base_;
    out_.text("<p class=\"key\">");
    if (merged) {
        key_item(out_, Swatch::area, colour, "mean of each bin");
        key_item(out_, Swatch::line, colour,
                 "highest over " + seconds_text(static_cast<double>(base_)) + " s in it");
    } else {
        key_item(out_, Swatch::area_and_line, colour, "bitrate of each bin");
    }
    if (s.bitrate_limit) {
        key_item(out_, Swatch::level, "",
                 s.limit_is_bucket ? "leaky bucket's R" : "average declared");
        top = std::max(top, static_cast<double>(*s.bitrate_limit));
    }
    marker_keys(out_, a, markers);
    out_.text("</p>\n");
    SvgPlot rates(out_, "bitrate-" + std::to_string(n), time_axis(static_cast<double>(end_)),
                  bitrate_axis(top));
    for (std::size_t k = 0; k < mean.size(); ++k) {
        std::string tip = span_text(bins_[k]) + ": " + rate_text(mean[k].value);
        if (merged)
            tip.append(" mean, ").append(rate_text(peak[k].value)).append(" highest");
        rates.tip(mean[k], tip);
    }
    rates.area(mean, colour);
    rates.line(merged ? peak : mean, colour);
    if (s.bitrate_limit)
        rates.level(static_cast<double>(*s.bitrate_limit), rate_text(*s.bitrate_limit));
    write_markers(rates, a, markers);
    rates.finish();
    if (bucket.empty())
        return;
    double fullest = 0;
    for (const Step& b : bucket)
        fullest = std::max(fullest, b.value);
    out_.text("<p class=\"key\">");
    key_item(out_, Swatch::line, colour, "leaky bucket at its fullest in each bin, % of its size");
    key_item(out_, Swatch::level, "", "its size");
    marker_keys(out_, a, markers);
    out_.text("</p>\n");
    SvgPlot plot(out_, "bucket-" + std::to_string(n), time_axis(static_cast<double>(end_)),
                 percent_axis(fullest));
    for (const Step& b : bucket) {
        const auto k = static_cast<std::size_t>(b.start / static_cast<double>(width_));
        plot.tip(b, span_text(bins_[std::min(k, bins_.size() - 1)]) + ": " +
                        std::string(decimal_text(b.value, 1).view()) + " %");
    }
    plot.line(bucket, colour);
    plot.level(100, "100 %");
    write_markers(plot, a, markers);
    plot.finish();
}

// The lead of presentation over send time, against the preroll.
void HtmlReport::write_lead_plot(const answers::FileAnswers& a, const Markers& markers) {
    out_.text(
        "<h3>Presentation against send time</h3>\n<p>How long before its presentation "
        "each stream's data is sent, at the least in each bin: the interleaving, and how "
        "much of the preroll it uses; below 0, data sent after its time.</p>\n");
    std::vector<std::pair<std::size_t, std::vector<Step>>> leads;  // stream's index, steps
    double low = 0;
    double high = static_cast<double>(a.preroll_ms.value_or(0));
    for (std::size_t i = 0; i < a.streams.size() && i < kMaxPlotted; ++i) {
        const std::uint8_t n = a.streams[i].number;
        std::vector<Step> steps;
        for (const Bin& b : bins_) {
            const StreamSpan* part = find_stream(b.span, n);
            if (part == nullptr || !part->led)
                continue;
            steps.push_back({static_cast<double>(b.span.start), end_of(b),
                             static_cast<double>(part->lead_min)});
            low = std::min(low, static_cast<double>(part->lead_min));
            high = std::max(high, static_cast<double>(part->lead_max));
        }
        if (!steps.empty())
            leads.emplace_back(i, std::move(steps));
    }
    if (leads.empty()) {
        out_.text("<p>No payload states its presentation time.</p>\n");
        return;
    }
    out_.text("<p class=\"key\">");
    for (const auto& [i, steps] : leads) {
        key_item(out_, Swatch::line, series_colour(i),
                 "stream " + std::to_string(a.streams[i].number));
    }
    if (a.preroll_ms)
        key_item(out_, Swatch::level, "", "preroll");
    marker_keys(out_, a, markers);
    out_.text("</p>\n");
    const Axis y = lead_axis(low, high);
    SvgPlot plot(out_, "lead", time_axis(static_cast<double>(end_)), y);
    for (const Bin& b : bins_) {
        std::string tip;
        for (const auto& [i, steps] : leads) {
            const StreamSpan* part = find_stream(b.span, a.streams[i].number);
            if (part == nullptr || !part->led)
                continue;
            tip.append(tip.empty() ? "" : ", ").append("stream ");
            tip.append(std::to_string(a.streams[i].number)).append(" ");
            tip.append(seconds_text(static_cast<double>(part->lead_min))).append(" s");
        }
        if (!tip.empty())
            plot.tip({static_cast<double>(b.span.start), end_of(b), 0}, span_text(b) + ": " + tip);
    }
    for (const auto& [i, steps] : leads)
        plot.line(steps, series_colour(i));
    if (a.preroll_ms) {
        plot.level(static_cast<double>(*a.preroll_ms),
                   "preroll " + seconds_text(static_cast<double>(*a.preroll_ms)) + " s");
    }
    write_markers(plot, a, markers);
    plot.finish();
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
        const std::string_view severity = severity_name(f.severity);
        out_.text("<tr id=\"finding-").number(i + 1).text("\"><td class=\"n\">").number(i + 1);
        out_.text("</td><td class=\"n\">0x").hex_number(static_cast<std::uint64_t>(f.offset));
        out_.text("</td><td class=\"").text(severity).text("\">").text(severity);
        out_.text("</td><td class=\"code\">").text(f.code).text("</td><td>");
        write_html(out_, f.message);
        out_.text("</td></tr>\n");
    }
    out_.text("</table>\n");
    if (a.findings_not_listed != 0) {
        out_.text("<p>").number(a.findings_not_listed);
        out_.text(" more findings are counted, not listed.</p>\n");
    }
}

}  // namespace asfinspect::view
