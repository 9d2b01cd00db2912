#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "answers/collector.hpp"
#include "answers/model.hpp"
#include "answers/timeline.hpp"
#include "decode/selection.hpp"
#include "io/json_writer.hpp"
#include "io/output.hpp"

namespace asfinspect::view {

// The file's delivery over time, an interval a row per stream and one for
// the file: bytes sent and their bitrate, media objects and key frames
// presented, the leaky bucket at its fullest, the least lead of presentation
// over send time; and for the file packets and padding. Then the totals, and
// the leaky buckets each stream declares, its alternate one too. As
// text, JSON ({"file", "interval", "intervals": [...], "totals"}, an interval
// a line) or CSV (a row per stream and interval, and a row "all" for the
// file). Each stream's bitrate in the totals is the one its media objects
// measure, as the summary gives it. The decode takes every packet: the
// buckets need them all; the streams and times selected only choose what is
// written.
class TimelineView final : public answers::Collector {
  public:
    enum class Format { text, json, csv };

    TimelineView(io::Output& out, Format format, std::uint64_t interval_ms);

    void select(const decode::StreamSet& streams, std::optional<decode::TimeRange> time);
    // One file of several, as ObjectsView takes it.
    void set_batch() { batch_ = true; }
    static void write_csv_header(io::Output& out, bool path);

  protected:
    bool wants_intervals() const override { return true; }
    void began(std::string_view path, std::int64_t size) override;
    std::optional<std::uint64_t> interval_ms(std::optional<std::uint64_t> duration) override;
    void interval(const answers::Span& span) override;
    void answered(const answers::FileAnswers& a) override;

  private:
    using Span = answers::Span;
    using StreamSpan = answers::StreamSpan;

    void write_text(const Span& span, const answers::FileAnswers* totals);
    void write_json(const Span& span);
    // A stream's members of an interval, or of the totals.
    void write_stream(const StreamSpan& s, std::optional<std::uint64_t> bitrate);
    void write_csv(const Span& span);
    bool selected(const Span& span) const;
    void write_buckets_text(const answers::FileAnswers& a);
    void write_json_totals(const answers::FileAnswers& a);

    Format format_;
    std::uint64_t interval_;
    io::JsonWriter json_;
    decode::StreamSet streams_ = decode::StreamSet().set();
    std::optional<decode::TimeRange> time_;
    std::string path_;
    bool batch_ = false;
    std::uint64_t written_ = 0;
    Span totals_;
    StreamSpan all_;  // the file's row of the interval being written
    StreamSpan totals_all_;
};

}  // namespace asfinspect::view
