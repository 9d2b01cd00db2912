#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "answers/collector.hpp"
#include "answers/model.hpp"
#include "answers/timeline.hpp"
#include "io/output.hpp"
#include "view/svg_plot.hpp"

namespace asfinspect::view {

// A report to look at in a browser, one self-contained HTML page made in the
// pass of a check: the summary; a map of the file to scale with its objects
// and where the findings lie; per stream the bitrate over time against the
// declared one and the leaky bucket against its size; the lead of
// presentation over send time against the preroll; and the findings, each
// linked to its place. Plots are inline SVG without script.
//
// Its plots cut the delivery into bins of a whole number of the usual spacing
// of packets, so that a stream sent at a constant rate draws a flat line.
// Its size is bounded whatever the file: the plots have at most kBins bins
// (intervals merged in pairs as the file goes on, each bin keeping the peaks
// of what it merges), kMaxPlotted streams, and the objects and findings that
// the file's answers keep; the rest is counted.
class HtmlReport final : public answers::Collector {
  public:
    static constexpr std::size_t kBins = 400;
    static constexpr std::size_t kMaxPlotted = 16;

    explicit HtmlReport(io::Output& out);

    std::uint64_t errors() const { return errors_; }
    std::uint64_t warnings() const { return warnings_; }

    // A bin of the plots: an interval, or intervals merged, with each
    // stream's highest bitrate over one of them.
    struct Bin {
        answers::Span span;
        std::vector<std::pair<std::uint8_t, std::uint64_t>> peaks;  // stream, bit/s
    };

  protected:
    bool wants_intervals() const override { return true; }
    std::optional<std::uint64_t> interval_ms(std::optional<std::uint64_t> duration) override;
    void interval(const answers::Span& span) override;
    void answered(const answers::FileAnswers& a) override;

  private:
    // Findings placed on the plots: a time (ms) and the findings there, by
    // their index among the file's.
    using Markers = std::vector<std::pair<double, std::vector<std::size_t>>>;

    void write(const answers::FileAnswers& a);
    void write_map(const answers::FileAnswers& a);
    void write_streams(const answers::FileAnswers& a);
    void write_plots(const answers::FileAnswers& a);
    void write_stream_plots(const answers::StreamAnswers& s, std::size_t i,
                            const answers::FileAnswers& a, const Markers& markers);
    void write_lead_plot(const answers::FileAnswers& a, const Markers& markers);
    void write_findings(const answers::FileAnswers& a);
    void write_markers(SvgPlot& plot, const answers::FileAnswers& a, const Markers& markers) const;
    // The time on the plots of a file offset in the data: the start of the
    // bin whose packets hold it; nullopt outside the data.
    std::optional<std::uint64_t> time_of(std::int64_t offset, const answers::FileAnswers& a) const;
    // Where a bin ends: the last ends where the delivery does.
    double end_of(const Bin& b) const;
    // "1.2-1.4 s"
    std::string span_text(const Bin& b) const;

    std::uint64_t base_ = 1000;   // ms, the length of an interval
    std::uint64_t width_ = 1000;  // ms, of a bin: base_ doubled as the file goes on
    std::uint64_t end_ = 0;       // ms, where the last interval ends
    // ms: a bitrate is over no less, so that the last interval, which ends
    // where the delivery does, does not count a packet over less time than
    // packets take.
    std::uint64_t shortest_ = 1000;
    std::vector<Bin> bins_;
    std::uint64_t errors_ = 0;
    std::uint64_t warnings_ = 0;
};

}  // namespace asfinspect::view
