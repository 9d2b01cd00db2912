#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "io/output.hpp"

// Plots of binned values over time as inline SVG, drawn as a careful plotting
// library draws them: each bin a step, flat over the bin; axes with several
// labels on a round step (1, 2, 2.5 or 5 x 10^k) in a unit scaled to the
// values, over a light grid; a tooltip on each step.
namespace asfinspect::view {

// Text for HTML and SVG, with the characters that have a meaning there
// escaped.
void write_html(io::Output& out, std::string_view text);

// An axis from `low` to `high`, with a tick at each multiple of `step` in
// between, labelled as the value divided by `scale` in `unit`.
struct Axis {
    double low = 0;
    double high = 1;
    double step = 1;
    double scale = 1;
    std::string_view unit;
};

// A coordinate or length in SVG units, to a tenth: "12.5".
void write_coordinate(io::Output& out, double v);

// The smallest of 1, 2, 2.5 and 5 x 10^k that is at least `least` (> 0).
double nice_step(double least);

// An axis of bitrates from 0 to a tick above `most` (bit/s), in bit/s, kb/s,
// Mb/s or Gb/s.
Axis bitrate_axis(double most);
// An axis of time from 0 to `end` ms exactly, in s, min or h.
Axis time_axis(double end);
// An axis of leads from `low` to `high` ms (0 among them), in ms or s.
Axis lead_axis(double low, double high);
// An axis of percentages from 0 to a tick above `most`.
Axis percent_axis(double most);

// A tick's label: the value in the axis's unit, with the decimals its step
// needs ("2.5", "120").
std::string tick_text(const Axis& axis, double v);

// A value over [start, end), both on the time axis (ms).
struct Step {
    double start = 0;
    double end = 0;
    double value = 0;
};

// The colours of the plots: Okabe and Ito's palette, kept apart from the
// findings' two.
inline constexpr std::string_view kErrorColour = "#D55E00";
inline constexpr std::string_view kWarningColour = "#E69F00";
std::string_view series_colour(std::size_t i);

// One plot: its frame, grid and tick labels when made, then what is drawn in
// it, closed by finish().
class SvgPlot {
  public:
    SvgPlot(io::Output& out, std::string_view id, const Axis& x, const Axis& y);

    // The steps as a filled area from 0, faint, and as a line.
    void area(const std::vector<Step>& steps, std::string_view colour);
    void line(const std::vector<Step>& steps, std::string_view colour);
    // A value the file declares, across the plot in the neutral style, named
    // above its right end.
    void level(double value, std::string_view name);
    // A tooltip over the whole height of each step, with its text.
    void tip(const Step& step, std::string_view text);
    // A finding's place (ms), linked to the finding `number` and titled.
    void marker(double at, std::size_t number, bool error, std::string_view title);
    void finish();

  private:
    double x(double v) const;
    double y(double v) const;
    void grid();

    io::Output& out_;
    Axis x_;
    Axis y_;
};

}  // namespace asfinspect::view
