#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "decode/facts.hpp"
#include "decode/view.hpp"
#include "io/output.hpp"
#include "view/answer_view.hpp"
#include "view/summary_view.hpp"
#include "view/timeline.hpp"

namespace asfinspect::view {

// A report to look at in a browser, one self-contained HTML page made in the
// pass of a check: the summary; a map of the file to scale with its objects
// and where the findings lie; per stream the bitrate over time against the
// declared one and the leaky bucket against its size; the lead of
// presentation over send time against the preroll; and the findings, each
// linked to its place. Plots are inline SVG without script.
//
// Its size is bounded whatever the file: the plots have at most kBins points
// a series (intervals merged in pairs as the file goes on, each point keeping
// the peaks of what it merges), kMaxPlotted streams, kMaxPlaced objects on
// the map and kMaxListed findings; the rest is counted.
class HtmlReport final : public AnswerView {
  public:
    static constexpr std::size_t kBins = 400;
    static constexpr std::size_t kMaxPlotted = 16;
    static constexpr std::size_t kMaxPlaced = 512;
    static constexpr std::size_t kMaxListed = 200;

    explicit HtmlReport(io::Output& out);

    void begin(const decode::Part& part) override;
    void end(const decode::Part& part) override;
    void media_object(const decode::MediaObject& m) override;
    void packet_sent(const decode::SentPacket& p) override;
    void payload_sent(const decode::SentPayload& p) override;

    // A point of the plots: an interval, or intervals merged, with each
    // stream's highest bitrate over one of them.
    struct Bin {
        Span span;
        std::vector<std::pair<std::uint8_t, std::uint64_t>> peaks;  // stream, bit/s
    };
    struct Placed {
        std::int64_t offset = 0;
        std::int64_t size = 0;
        std::string_view name;
        int depth = 0;
    };
    struct Listed {
        std::int64_t offset = 0;
        decode::Severity severity = decode::Severity::warning;
        std::string_view code;
        std::string message;
    };

  protected:
    void found(const decode::Finding& f) override;

  private:
    void take(const Span& span);
    void write(const decode::Facts& facts);
    void write_map(const decode::Facts& facts);
    void write_streams(const decode::Facts& facts);
    // Places on the plots: a time (ms) and a finding's number.
    using Markers = std::vector<std::pair<double, std::size_t>>;

    void write_plots(const decode::Facts& facts);
    void write_stream_plots(const decode::Facts& facts, std::uint8_t n, double x_max,
                            const Markers& markers);
    void write_lead_plot(const decode::Facts& facts, double x_max, const Markers& markers);
    void write_findings();
    // The time on the plots of a file offset in the data: the start of the
    // point whose packets hold it; nullopt outside the data.
    std::optional<std::uint64_t> time_of(std::int64_t offset, const decode::Facts& facts) const;

    io::Output summary_text_;
    SummaryView summary_;
    std::optional<Timeline> timeline_;
    std::uint64_t base_ = 1000;   // ms, the length of an interval
    std::uint64_t width_ = 1000;  // ms, of a point: base_ doubled as the file goes on
    std::vector<Bin> bins_;
    std::string path_;
    std::int64_t size_ = 0;
    int depth_ = 0;  // of objects
    std::vector<Placed> placed_;
    std::uint64_t unplaced_objects_ = 0;
    std::vector<Listed> listed_;
    std::uint64_t unlisted_ = 0;
};

}  // namespace asfinspect::view
