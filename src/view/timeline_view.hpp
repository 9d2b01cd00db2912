#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "decode/selection.hpp"
#include "decode/view.hpp"
#include "io/output.hpp"
#include "view/timeline.hpp"

namespace asfinspect::view {

// The file's delivery over time, an interval a row per stream and one for
// the file: bytes sent and their bitrate, media objects and key frames
// presented, the leaky bucket at its fullest, the least lead of presentation
// over send time; and for the file packets and padding. Then the totals, and
// the leaky buckets each stream declares, its alternate one too. As
// text, JSON ({"file", "interval", "intervals": [...], "totals"}, an interval
// a line) or CSV (a row per stream and interval, and a row "all" for the
// file). The decode takes every packet: the buckets need them all; the
// streams and times selected only choose what is written.
class TimelineView final : public decode::View {
  public:
    enum class Format { text, json, csv };

    TimelineView(io::Output& out, Format format, std::uint64_t interval_ms);

    void select(const decode::StreamSet& streams, std::optional<decode::TimeRange> time);
    // One file of several, as ObjectsView takes it.
    void set_batch() { batch_ = true; }
    static void write_csv_header(io::Output& out, bool path);

    bool wants_fields() const override { return false; }
    bool failed() const override { return out_.failed(); }
    void begin(const decode::Part& part) override;
    void end(const decode::Part& part) override;
    void media_object(const decode::MediaObject& m) override { timeline_.media_object(m); }
    void packet_sent(const decode::SentPacket& p) override { timeline_.packet(p); }
    void payload_sent(const decode::SentPayload& p) override { timeline_.payload(p); }

  private:
    void write(const Span& span);
    void write_text(const Span& span, bool total);
    void write_json(const Span& span);
    // A span's streams as a JSON array, each with its bitrate over `ms`.
    void write_json_streams(const std::vector<StreamSpan>& streams,
                            std::optional<std::uint64_t> ms);
    void write_csv(const Span& span);
    bool selected(const Span& span) const;
    void write_buckets_text(const decode::Facts& facts);
    void write_buckets_json(const decode::Facts& facts);

    io::Output& out_;
    Format format_;
    Timeline timeline_;
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
