#include "view/timeline_view.hpp"

#include <algorithm>
#include <limits>
#include <string>

#include "answers/measures.hpp"
#include "view/format.hpp"

namespace asfinspect::view {

namespace {

using answers::FileAnswers;
using answers::Span;
using answers::StreamSpan;

constexpr std::string_view kColumns =
    "start,end,stream,bytes,bitrate,media_objects,key_frames,bucket_max,bucket_size,lead_min,"
    "packets,padding";

// Bytes sent over a span of ms as bit/s.
std::uint64_t sent_bitrate(std::uint64_t bytes, const Span& span) {
    const std::uint64_t ms = span.end > span.start ? span.end - span.start : 0;
    return answers::bitrate(
               bytes, answers::ticks_of_ms(static_cast<std::int64_t>(
                          std::min<std::uint64_t>(ms, std::numeric_limits<std::int64_t>::max()))))
        .value_or(0);
}

// Millibits as whole bits.
std::uint64_t bits(std::uint64_t millibits) {
    return millibits / 1000;
}

std::string seconds_text(std::uint64_t ms) {
    return std::string(exact_seconds(ms, decode::Unit::milliseconds).view());
}

std::string lead_text(std::int64_t ms) {
    return std::string(exact_seconds_of_ms(ms).view());
}

void cell(io::Output& out, std::string_view text, std::size_t width) {
    static constexpr std::string_view kSpaces = "                    ";
    if (text.size() < width)
        out.text(kSpaces.substr(0, std::min(width - text.size(), kSpaces.size())));
    out.text(text);
}

void cell(io::Output& out, std::uint64_t n, std::size_t width) {
    cell(out, std::to_string(n), width);
}

// The streams of a span together: the file's bytes, objects and least lead.
StreamSpan all_streams(const Span& span) {
    StreamSpan all;
    for (const StreamSpan& s : span.streams)
        all.merge(s);
    all.bytes = span.payload_bytes;
    all.bucket_max = 0;
    all.bucket_limit = 0;
    return all;
}

// A stream's measured bitrate, as the summary gives it.
std::optional<std::uint64_t> measured_bitrate(const FileAnswers& a, std::uint8_t stream) {
    const answers::StreamAnswers* s = a.stream(stream);
    return s != nullptr && s->measured ? s->measured->bitrate : std::nullopt;
}

}  // namespace

TimelineView::TimelineView(io::Output& out, Format format, std::uint64_t interval_ms)
    : Collector(out),
      format_(format),
      interval_(std::max<std::uint64_t>(interval_ms, 1)),
      json_(out) {
    totals_.start = ~std::uint64_t{0};
}

void TimelineView::write_csv_header(io::Output& out, bool path) {
    out.text(path ? "path," : "").text(kColumns).text("\r\n");
}

void TimelineView::select(const decode::StreamSet& streams, std::optional<decode::TimeRange> time) {
    streams_ = streams;
    time_ = time;
}

bool TimelineView::selected(const Span& span) const {
    return !time_ || (span.start <= time_->last && span.end > time_->first);
}

std::optional<std::uint64_t> TimelineView::interval_ms(std::optional<std::uint64_t> /*duration*/) {
    return interval_;
}

void TimelineView::began(std::string_view path, std::int64_t size) {
    path_.assign(path);
    switch (format_) {
        case Format::text:
            if (batch_)
                out_.text("file: ").text(path).end_line();
            out_.text("interval ").text(seconds_text(interval_)).text(" s").end_line();
            cell(out_, "start", 9);
            cell(out_, "stream", 8);
            cell(out_, "bytes", 12);
            cell(out_, "bit/s", 11);
            cell(out_, "objects", 9);
            cell(out_, "keys", 7);
            cell(out_, "bucket", 8);
            cell(out_, "lead", 9);
            out_.end_line();
            break;
        case Format::json:
            json_.begin_object();
            write_json_file(json_, path, size);
            json_.member_raw("interval", seconds_text(interval_));
            json_.key("intervals").begin_array();
            break;
        case Format::csv:
            if (!batch_)
                write_csv_header(out_, false);
            break;
    }
}

void TimelineView::interval(const Span& span) {
    if (!selected(span))
        return;
    // The file's row takes every stream, the rows of streams those selected.
    all_ = all_streams(span);
    totals_all_.merge(all_);
    Span kept = span;
    std::erase_if(kept.streams, [&](const StreamSpan& s) { return !streams_.test(s.stream); });
    totals_.merge(kept);
    switch (format_) {
        case Format::text:
            write_text(kept, nullptr);
            break;
        case Format::json:
            write_json(kept);
            break;
        case Format::csv:
            write_csv(kept);
            break;
    }
    ++written_;
}

// An interval's rows, or with `totals` the rows of the totals.
void TimelineView::write_text(const Span& span, const FileAnswers* totals) {
    const std::string start = totals != nullptr ? "total" : seconds_text(span.start);
    const auto row = [&](std::string_view stream, const StreamSpan& s,
                         std::optional<std::uint64_t> rate) {
        cell(out_, start, 9);
        cell(out_, stream, 8);
        cell(out_, s.bytes, 12);
        cell(out_, rate ? std::to_string(*rate) : std::string("-"), 11);
        cell(out_, s.media_objects, 9);
        cell(out_, s.key_frames, 7);
        cell(out_,
             s.bucket_limit == 0
                 ? std::string("-")
                 : std::to_string(s.bucket_max / std::max<std::uint64_t>(s.bucket_limit / 100, 1)) +
                       " %",
             8);
        cell(out_, s.led ? lead_text(s.lead_min) : std::string("-"), 9);
    };
    for (const StreamSpan& s : span.streams) {
        row(std::to_string(s.stream), s,
            totals != nullptr ? measured_bitrate(*totals, s.stream)
                              : std::optional<std::uint64_t>(sent_bitrate(s.bytes, span)));
        out_.end_line();
    }
    const bool measured = totals != nullptr && totals->measured && totals->measured->bitrate;
    row("all", totals != nullptr ? totals_all_ : all_,
        totals == nullptr ? std::optional<std::uint64_t>(sent_bitrate(all_.bytes, span))
        : measured        ? totals->measured->bitrate
                          : std::nullopt);
    out_.text("  ").number(span.packets).text(span.packets == 1 ? " packet, " : " packets, ");
    out_.number(span.padding).text(" padding bytes").end_line();
}

void TimelineView::write_stream(const StreamSpan& s, std::optional<std::uint64_t> bitrate) {
    json_.begin_object().member_number("stream", s.stream).member_number("bytes", s.bytes);
    if (bitrate)
        json_.member_number("bitrate", *bitrate);
    json_.member_number("media_objects", s.media_objects);
    json_.member_number("key_frames", s.key_frames);
    if (s.bucket_limit != 0) {
        json_.member_number("bucket_max", bits(s.bucket_max));
        json_.member_number("bucket_size", bits(s.bucket_limit));
    }
    if (s.led)
        json_.member_raw("lead_min", lead_text(s.lead_min));
    json_.end_object();
}

void TimelineView::write_json(const Span& span) {
    json_.line_break().begin_object();
    json_.member_raw("start", seconds_text(span.start));
    json_.member_raw("end", seconds_text(span.end));
    json_.member_number("packets", span.packets);
    json_.member_number("payload_bytes", span.payload_bytes);
    json_.member_number("padding", span.padding);
    json_.key("streams").begin_array();
    for (const StreamSpan& s : span.streams)
        write_stream(s, sent_bitrate(s.bytes, span));
    json_.end_array().end_object();
}

void TimelineView::write_csv(const Span& span) {
    const auto row = [&](std::string_view stream, const StreamSpan& s, bool file) {
        if (batch_) {
            write_csv_field(out_, path_);
            out_.text(",");
        }
        out_.text(seconds_text(span.start)).text(",").text(seconds_text(span.end));
        out_.text(",").text(stream).text(",").number(s.bytes).text(",");
        out_.number(sent_bitrate(s.bytes, span)).text(",").number(s.media_objects).text(",");
        out_.number(s.key_frames).text(",");
        if (s.bucket_limit != 0)
            out_.number(bits(s.bucket_max)).text(",").number(bits(s.bucket_limit));
        else
            out_.text(",");
        out_.text(",");
        if (s.led)
            out_.text(lead_text(s.lead_min));
        out_.text(",");
        if (file)
            out_.number(span.packets).text(",").number(span.padding);
        else
            out_.text(",");
        out_.text("\r\n");
    };
    for (const StreamSpan& s : span.streams)
        row(std::to_string(s.stream), s, false);
    row("all", all_, true);
}

// The leaky buckets the selected streams declare, checked or not.
void TimelineView::write_buckets_text(const FileAnswers& a) {
    for (const answers::StreamAnswers& s : a.streams) {
        if (!s.bucket || !streams_.test(s.number))
            continue;
        const answers::LeakyBucket& b = *s.bucket;
        const answers::LeakyBucket& alt = *s.alternate_bucket;
        out_.text("stream ").number(s.number).text(" leaky bucket: R ").number(b.bitrate);
        out_.text(" bit/s, B ").number(b.buffer_ms).text(" ms, F ").number(b.initial_fullness_ms);
        out_.text(" ms; alternate: R ").number(alt.bitrate).text(" bit/s, B ");
        out_.number(alt.buffer_ms).text(" ms, F ").number(alt.initial_fullness_ms);
        out_.text(" ms").end_line();
    }
    if (a.bucket_pairs.empty())
        return;
    out_.text("ASFLeakyBucketPairs:");
    for (const decode::LeakyBucketPairFacts& p : a.bucket_pairs)
        out_.text(" ").number(p.bitrate).text(" bit/s in ").number(p.window).text(" ms;");
    if (a.bucket_pairs_not_kept != 0)
        out_.text(" and ").number(a.bucket_pairs_not_kept).text(" more");
    out_.end_line();
}

void TimelineView::write_json_totals(const FileAnswers& a) {
    if (written_ != 0)
        json_.line_break();
    json_.end_array();
    json_.key("totals").begin_object();
    json_.member_raw("start", seconds_text(totals_.start));
    json_.member_raw("end", seconds_text(totals_.end));
    json_.member_number("packets", totals_.packets);
    json_.member_number("payload_bytes", totals_.payload_bytes);
    json_.member_number("padding", totals_.padding);
    json_.member_number("unplaced_media_objects", unplaced_media_objects());
    json_.key("streams").begin_array();
    for (const StreamSpan& s : totals_.streams)
        write_stream(s, measured_bitrate(a, s.stream));
    json_.end_array();
    json_.key("buckets").begin_array();
    for (const answers::StreamAnswers& s : a.streams) {
        if (!s.bucket || !streams_.test(s.number))
            continue;
        const answers::LeakyBucket& b = *s.bucket;
        const answers::LeakyBucket& alt = *s.alternate_bucket;
        json_.begin_object().member_number("stream", s.number);
        json_.member_number("bitrate", b.bitrate);
        json_.member_raw("buffer_size", seconds_text(b.buffer_ms));
        json_.member_raw("initial_fullness", seconds_text(b.initial_fullness_ms));
        json_.member_number("alternate_bitrate", alt.bitrate);
        json_.member_raw("alternate_buffer_size", seconds_text(alt.buffer_ms));
        json_.member_raw("alternate_initial_fullness", seconds_text(alt.initial_fullness_ms));
        json_.end_object();
    }
    json_.end_array();
    json_.key("bucket_pairs").begin_array();
    for (const decode::LeakyBucketPairFacts& p : a.bucket_pairs) {
        json_.begin_object().member_number("bitrate", p.bitrate);
        json_.member_raw("window", seconds_text(p.window)).end_object();
    }
    json_.end_array().end_object().end_object().end_document();
}

void TimelineView::answered(const FileAnswers& a) {
    if (totals_.start > totals_.end)
        totals_.start = totals_.end = 0;
    switch (format_) {
        case Format::text:
            write_text(totals_, &a);
            write_buckets_text(a);
            if (unplaced_media_objects() != 0) {
                out_.number(unplaced_media_objects())
                    .text(
                        " media objects presented in intervals already written, counted in "
                        "no interval")
                    .end_line();
            }
            break;
        case Format::json:
            write_json_totals(a);
            break;
        case Format::csv:
            break;
    }
}

}  // namespace asfinspect::view
