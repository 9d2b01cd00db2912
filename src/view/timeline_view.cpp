#include "view/timeline_view.hpp"

#include <algorithm>
#include <string>

#include "decode/facts.hpp"
#include "view/format.hpp"

namespace asfinspect::view {

namespace {

constexpr std::string_view kColumns =
    "start,end,stream,bytes,bitrate,media_objects,key_frames,bucket_max,bucket_size,lead_min,"
    "packets,padding";

// Bytes over a span of ms as bit/s, rounded down.
std::uint64_t bitrate(std::uint64_t bytes, std::uint64_t ms) {
    if (ms == 0)
        return 0;
    // Bytes beyond 2^60 (an exabyte) saturate rather than wrap.
    const std::uint64_t bits =
        bytes > (std::uint64_t{1} << 60) ? ~std::uint64_t{0} / 1000 : bytes * 8;
    return bits / ms * 1000 + bits % ms * 1000 / ms;
}

// Millibits as whole bits.
std::uint64_t bits(std::uint64_t millibits) {
    return millibits / 1000;
}

// Milliseconds as exact seconds, as write_signed_seconds writes them: -1500
// is "-1.5".
std::string seconds_text(std::int64_t ms) {
    const std::uint64_t magnitude =
        ms < 0 ? 0 - static_cast<std::uint64_t>(ms) : static_cast<std::uint64_t>(ms);
    std::string text(ms < 0 ? "-" : "");
    text += std::to_string(magnitude / 1000);
    if (const std::uint64_t fraction = magnitude % 1000; fraction != 0) {
        std::string digits = std::to_string(1000 + fraction).substr(1);
        digits.erase(digits.find_last_not_of('0') + 1);
        text += '.';
        text += digits;
    }
    return text;
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

}  // namespace

TimelineView::TimelineView(io::Output& out, Format format, std::uint64_t interval_ms)
    : out_(out), format_(format), timeline_(interval_ms, [this](const Span& s) { write(s); }) {
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

void TimelineView::begin(const decode::Part& part) {
    using Kind = decode::Part::Kind;
    if (part.kind == Kind::packets && part.facts != nullptr) {
        timeline_.start(*part.facts);
        return;
    }
    if (part.kind != Kind::file)
        return;
    path_.assign(part.path);
    switch (format_) {
        case Format::text:
            if (batch_)
                out_.text("file: ").text(part.path).end_line();
            out_.text("interval ");
            write_signed_seconds(out_, static_cast<std::int64_t>(timeline_.interval()));
            out_.text(" s").end_line();
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
            out_.text("{\"file\":{\"path\":");
            write_json_string(out_, part.path);
            out_.text(",\"size\":").signed_number(part.size).text("},\"interval\":");
            write_signed_seconds(out_, static_cast<std::int64_t>(timeline_.interval()));
            out_.text(",\"intervals\":[");
            break;
        case Format::csv:
            if (!batch_)
                write_csv_header(out_, false);
            break;
    }
}

void TimelineView::write(const Span& span) {
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
            write_text(kept, false);
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

void TimelineView::write_text(const Span& span, bool total) {
    const std::string start = total ? "total" : seconds_text(static_cast<std::int64_t>(span.start));
    const std::uint64_t ms = span.end > span.start ? span.end - span.start : 0;
    const auto row = [&](std::string_view stream, const StreamSpan& s) {
        cell(out_, start, 9);
        cell(out_, stream, 8);
        cell(out_, s.bytes, 12);
        cell(out_, bitrate(s.bytes, ms), 11);
        cell(out_, s.media_objects, 9);
        cell(out_, s.key_frames, 7);
        cell(out_,
             s.bucket_limit == 0
                 ? std::string("-")
                 : std::to_string(s.bucket_max / std::max<std::uint64_t>(s.bucket_limit / 100, 1)) +
                       " %",
             8);
        cell(out_, s.led ? seconds_text(s.lead_min) : std::string("-"), 9);
    };
    for (const StreamSpan& s : span.streams) {
        row(std::to_string(s.stream), s);
        out_.end_line();
    }
    row("all", total ? totals_all_ : all_);
    out_.text("  ").number(span.packets).text(span.packets == 1 ? " packet, " : " packets, ");
    out_.number(span.padding).text(" padding bytes").end_line();
}

void TimelineView::write_json(const Span& span) {
    const std::uint64_t ms = span.end - span.start;
    out_.text(written_ == 0 ? "\n{\"start\":" : ",\n{\"start\":");
    write_signed_seconds(out_, static_cast<std::int64_t>(span.start));
    out_.text(",\"end\":");
    write_signed_seconds(out_, static_cast<std::int64_t>(span.end));
    out_.text(",\"packets\":").number(span.packets);
    out_.text(",\"payload_bytes\":").number(span.payload_bytes);
    out_.text(",\"padding\":").number(span.padding).text(",\"streams\":");
    write_json_streams(span.streams, ms);
    out_.text("}");
}

void TimelineView::write_json_streams(const std::vector<StreamSpan>& streams,
                                      std::optional<std::uint64_t> ms) {
    out_.text("[");
    bool first = true;
    for (const StreamSpan& s : streams) {
        out_.text(first ? "{\"stream\":" : ",{\"stream\":").number(s.stream);
        first = false;
        out_.text(",\"bytes\":").number(s.bytes);
        if (ms)
            out_.text(",\"bitrate\":").number(bitrate(s.bytes, *ms));
        out_.text(",\"media_objects\":").number(s.media_objects);
        out_.text(",\"key_frames\":").number(s.key_frames);
        if (s.bucket_limit != 0) {
            out_.text(",\"bucket_max\":").number(bits(s.bucket_max));
            out_.text(",\"bucket_size\":").number(bits(s.bucket_limit));
        }
        if (s.led)
            out_.text(",\"lead_min\":").signed_number(s.lead_min);
        out_.text("}");
    }
    out_.text("]");
}

void TimelineView::write_csv(const Span& span) {
    const std::uint64_t ms = span.end - span.start;
    const auto row = [&](std::string_view stream, const StreamSpan& s, bool file) {
        if (batch_) {
            write_csv_field(out_, path_);
            out_.text(",");
        }
        write_signed_seconds(out_, static_cast<std::int64_t>(span.start));
        out_.text(",");
        write_signed_seconds(out_, static_cast<std::int64_t>(span.end));
        out_.text(",").text(stream).text(",").number(s.bytes).text(",");
        out_.number(bitrate(s.bytes, ms)).text(",").number(s.media_objects).text(",");
        out_.number(s.key_frames).text(",");
        if (s.bucket_limit != 0)
            out_.number(bits(s.bucket_max)).text(",").number(bits(s.bucket_limit));
        else
            out_.text(",");
        out_.text(",");
        if (s.led)
            out_.signed_number(s.lead_min);
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
void TimelineView::write_buckets_text(const decode::Facts& facts) {
    for (const std::uint8_t n : facts.stream_order) {
        const decode::StreamFacts& s = facts.streams[n];
        if (!s.extended || !streams_.test(n))
            continue;
        const decode::ExtendedStreamFacts& e = s.extended_properties;
        out_.text("stream ").number(n).text(" leaky bucket: R ").number(e.data_bitrate);
        out_.text(" bit/s, B ").number(s.buffer_size).text(" ms, F ").number(e.initial_fullness);
        out_.text(" ms; alternate: R ").number(e.alternate_bitrate).text(" bit/s, B ");
        out_.number(e.alternate_buffer_size).text(" ms, F ").number(e.alternate_initial_fullness);
        out_.text(" ms").end_line();
    }
    const auto& pairs = facts.leaky_bucket_pairs;
    if (pairs.kept.empty())
        return;
    out_.text("ASFLeakyBucketPairs:");
    for (const decode::LeakyBucketPairFacts& p : pairs.kept)
        out_.text(" ").number(p.bitrate).text(" bit/s in ").number(p.window).text(" ms;");
    if (pairs.more != 0)
        out_.text(" and ").number(pairs.more).text(" more");
    out_.end_line();
}

void TimelineView::write_buckets_json(const decode::Facts& facts) {
    out_.text(",\"buckets\":[");
    bool first = true;
    for (const std::uint8_t n : facts.stream_order) {
        const decode::StreamFacts& s = facts.streams[n];
        if (!s.extended || !streams_.test(n))
            continue;
        const decode::ExtendedStreamFacts& e = s.extended_properties;
        out_.text(first ? "{\"stream\":" : ",{\"stream\":").number(n);
        first = false;
        out_.text(",\"bitrate\":").number(e.data_bitrate);
        out_.text(",\"buffer_size\":").number(s.buffer_size);
        out_.text(",\"initial_fullness\":").number(e.initial_fullness);
        out_.text(",\"alternate_bitrate\":").number(e.alternate_bitrate);
        out_.text(",\"alternate_buffer_size\":").number(e.alternate_buffer_size);
        out_.text(",\"alternate_initial_fullness\":").number(e.alternate_initial_fullness);
        out_.text("}");
    }
    out_.text("],\"bucket_pairs\":[");
    first = true;
    for (const decode::LeakyBucketPairFacts& p : facts.leaky_bucket_pairs.kept) {
        out_.text(first ? "{\"bitrate\":" : ",{\"bitrate\":").number(p.bitrate);
        first = false;
        out_.text(",\"window\":").number(p.window).text("}");
    }
    out_.text("]");
}

void TimelineView::end(const decode::Part& part) {
    if (part.kind != decode::Part::Kind::file)
        return;
    timeline_.finish();
    const decode::Facts* facts = part.summary != nullptr ? part.summary->facts : nullptr;
    if (totals_.start > totals_.end)
        totals_.start = totals_.end = 0;
    switch (format_) {
        case Format::text:
            write_text(totals_, true);
            if (facts != nullptr)
                write_buckets_text(*facts);
            if (timeline_.unplaced() != 0) {
                out_.number(timeline_.unplaced())
                    .text(
                        " media objects presented in intervals already written, counted in "
                        "no interval")
                    .end_line();
            }
            break;
        case Format::json: {
            out_.text(written_ == 0 ? "]" : "\n]").text(",\"totals\":{\"start\":");
            write_signed_seconds(out_, static_cast<std::int64_t>(totals_.start));
            out_.text(",\"end\":");
            write_signed_seconds(out_, static_cast<std::int64_t>(totals_.end));
            out_.text(",\"packets\":").number(totals_.packets);
            out_.text(",\"payload_bytes\":").number(totals_.payload_bytes);
            out_.text(",\"padding\":").number(totals_.padding);
            out_.text(",\"unplaced_media_objects\":").number(timeline_.unplaced());
            out_.text(",\"streams\":");
            write_json_streams(totals_.streams, std::nullopt);
            if (facts != nullptr)
                write_buckets_json(*facts);
            out_.text("}}").end_line();
            break;
        }
        case Format::csv:
            break;
    }
}

}  // namespace asfinspect::view
