#include "view/svg_plot.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace asfinspect::view {

namespace {

// The plot's frame, in SVG units: the values fill [kLeft, kRight] x [kTop,
// kBottom]; the labels go around it.
constexpr double kWidth = 960;
constexpr double kHeight = 210;
constexpr double kLeft = 64;
constexpr double kRight = 940;
constexpr double kTop = 20;
constexpr double kBottom = 176;

// Ticks a value axis aims at, and a time axis at most.
constexpr double kValueIntervals = 5;
constexpr double kTimeIntervals = 6;
// Room above the highest value, so that a flat line does not run along the
// frame.
constexpr double kHeadroom = 1.05;

// Okabe and Ito's colours but their vermilion and orange, which the
// findings keep, and their yellow, too faint on white: blue, bluish green,
// reddish purple, sky blue, black.
constexpr std::string_view kSeriesColours[] = {"#0072B2", "#009E73", "#CC79A7", "#56B4E9",
                                               "#000000"};

struct Unit {
    double scale;
    std::string_view name;
};

// The first unit whose `limit` the value is below, else the last.
template <std::size_t N>
Unit unit_for(double v, const std::pair<double, Unit> (&units)[N]) {
    for (const auto& [limit, unit] : units) {
        if (v < limit)
            return unit;
    }
    return units[N - 1].second;
}

// An axis from 0 up to a tick at or above `top`.
Axis from_zero(double top, Unit unit) {
    top = std::max(top, unit.scale);
    const double step = nice_step(top / kValueIntervals);
    return {0, std::ceil(top / step - 1e-9) * step, step, unit.scale, unit.name};
}

// Writes a line from (x1, y1) to (x2, y2) up to the end of its attributes,
// for the caller to close or to add more.
void open_line(io::Output& out, std::string_view name, double x1, double x2, double y1, double y2) {
    out.text("<line class=\"").text(name).text("\" x1=\"");
    write_coordinate(out, x1);
    out.text("\" x2=\"");
    write_coordinate(out, x2);
    out.text("\" y1=\"");
    write_coordinate(out, y1);
    out.text("\" y2=\"");
    write_coordinate(out, y2);
    out.text("\"");
}

// Writes `text` at (x, y), anchored at its start, middle or end.
void text_at(io::Output& out, std::string_view name, double x, double y, std::string_view anchor,
             std::string_view text) {
    out.text("<text class=\"").text(name).text("\" x=\"");
    write_coordinate(out, x);
    out.text("\" y=\"");
    write_coordinate(out, y);
    out.text("\" text-anchor=\"").text(anchor).text("\">");
    write_html(out, text);
    out.text("</text>");
}

}  // namespace

void write_coordinate(io::Output& out, double v) {
    char text[32];
    const int n = std::snprintf(text, sizeof text, "%.1f", v);
    out.text(std::string_view(text, static_cast<std::size_t>(std::max(n, 0))));
}

void write_html(io::Output& out, std::string_view text) {
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

double nice_step(double least) {
    if (!(least > 0) || !std::isfinite(least))
        return 1;
    const double power = std::pow(10.0, std::floor(std::log10(least)));
    // Each pass tries the next mantissa, up to the next power of ten.
    for (const double mantissa : {1.0, 2.0, 2.5, 5.0}) {
        if (mantissa * power >= least * (1 - 1e-9))
            return mantissa * power;
    }
    return 10 * power;
}

Axis bitrate_axis(double most) {
    static constexpr std::pair<double, Unit> kUnits[] = {
        {1e3, {1, "bit/s"}}, {1e6, {1e3, "kb/s"}}, {1e9, {1e6, "Mb/s"}}, {0, {1e9, "Gb/s"}}};
    const Axis axis = from_zero(most * kHeadroom, {1, ""});
    const Unit unit = unit_for(axis.high, kUnits);
    return {axis.low, axis.high, axis.step, unit.scale, unit.name};
}

Axis time_axis(double end) {
    static constexpr std::pair<double, Unit> kUnits[] = {
        {120e3, {1e3, "s"}}, {7200e3, {60e3, "min"}}, {0, {3600e3, "h"}}};
    end = std::max(end, 1.0);
    const Unit unit = unit_for(end, kUnits);
    const double step = nice_step(end / unit.scale / kTimeIntervals) * unit.scale;
    return {0, end, step, unit.scale, unit.name};
}

Axis lead_axis(double low, double high) {
    static constexpr std::pair<double, Unit> kUnits[] = {{2000, {1, "ms"}}, {0, {1e3, "s"}}};
    low = std::min(low, 0.0);
    high = std::max(high, 0.0) * kHeadroom;
    if (high - low < 1)
        high = low + 1;
    const Unit unit = unit_for(high - low, kUnits);
    const double step = nice_step((high - low) / kValueIntervals);
    return {std::floor(low / step + 1e-9) * step, std::ceil(high / step - 1e-9) * step, step,
            unit.scale, unit.name};
}

Axis percent_axis(double most) {
    return from_zero(std::max(most, 100.0) * kHeadroom, {1, "%"});
}

std::string tick_text(const Axis& axis, double v) {
    const double step = axis.step / axis.scale;
    int decimals = 0;
    // Each pass tries one more decimal, until the step is written exactly.
    for (double scaled = step; decimals < 6 && std::abs(scaled - std::round(scaled)) > 1e-6;
         scaled *= 10) {
        ++decimals;
    }
    double shown = v / axis.scale;
    if (std::abs(shown) < step * 1e-6)
        shown = 0;  // not "-0"
    char text[48];
    const int n = std::snprintf(text, sizeof text, "%.*f", decimals, shown);
    return std::string(text, static_cast<std::size_t>(std::max(n, 0)));
}

std::string_view series_colour(std::size_t i) {
    return kSeriesColours[i % std::size(kSeriesColours)];
}

SvgPlot::SvgPlot(io::Output& out, std::string_view id, const Axis& x, const Axis& y)
    : out_(out), x_(x), y_(y) {
    if (!(x_.high > x_.low))
        x_.high = x_.low + 1;
    if (!(y_.high > y_.low))
        y_.high = y_.low + 1;
    out_.text("<svg id=\"").text(id).text("\" class=\"plot\" viewBox=\"0 0 ");
    write_coordinate(out_, kWidth);
    out_.text(" ");
    write_coordinate(out_, kHeight);
    out_.text("\" role=\"img\"><rect class=\"frame\" x=\"");
    write_coordinate(out_, kLeft);
    out_.text("\" y=\"");
    write_coordinate(out_, kTop);
    out_.text("\" width=\"");
    write_coordinate(out_, kRight - kLeft);
    out_.text("\" height=\"");
    write_coordinate(out_, kBottom - kTop);
    out_.text("\"/>");
    grid();
}

double SvgPlot::x(double v) const {
    return kLeft +
           (std::clamp(v, x_.low, x_.high) - x_.low) / (x_.high - x_.low) * (kRight - kLeft);
}

double SvgPlot::y(double v) const {
    return kBottom -
           (std::clamp(v, y_.low, y_.high) - y_.low) / (y_.high - y_.low) * (kBottom - kTop);
}

// The grid lines and labels at each tick, and the units.
void SvgPlot::grid() {
    const auto ticks = [](const Axis& a) {
        const auto first = static_cast<long long>(std::ceil(a.low / a.step - 1e-9));
        const auto last = static_cast<long long>(std::floor(a.high / a.step + 1e-9));
        return std::pair(first, last);
    };
    const auto [y_first, y_last] = ticks(y_);
    // Each pass draws one tick of the value axis.
    for (long long i = y_first; i <= y_last; ++i) {
        const double v = static_cast<double>(i) * y_.step;
        open_line(out_, "grid", kLeft, kRight, y(v), y(v));
        out_.text("/>");
        text_at(out_, "tick-y", kLeft - 5, y(v) + 4, "end", tick_text(y_, v));
    }
    const auto [x_first, x_last] = ticks(x_);
    // Each pass draws one tick of the time axis.
    for (long long i = x_first; i <= x_last; ++i) {
        const double v = static_cast<double>(i) * x_.step;
        open_line(out_, "grid", x(v), x(v), kTop, kBottom);
        out_.text("/>");
        text_at(out_, "tick-x", x(v), kBottom + 15, "middle", tick_text(x_, v));
    }
    text_at(out_, "unit", kLeft - 5, kTop - 7, "end", y_.unit);
    text_at(out_, "unit", kRight, kBottom + 28, "end", x_.unit);
}

void SvgPlot::area(const std::vector<Step>& steps, std::string_view colour) {
    if (steps.empty())
        return;
    out_.text("<path class=\"area\" fill=\"").text(colour).text("\" d=\"");
    const Step* previous = nullptr;
    for (const Step& s : steps) {
        if (previous == nullptr || s.start != previous->end) {
            if (previous != nullptr) {
                out_.text("V");
                write_coordinate(out_, y(0));
                out_.text("Z");
            }
            out_.text("M");
            write_coordinate(out_, x(s.start));
            out_.text(" ");
            write_coordinate(out_, y(0));
        }
        out_.text("V");
        write_coordinate(out_, y(s.value));
        out_.text("H");
        write_coordinate(out_, x(s.end));
        previous = &s;
    }
    out_.text("V");
    write_coordinate(out_, y(0));
    out_.text("Z\"/>");
}

void SvgPlot::line(const std::vector<Step>& steps, std::string_view colour) {
    if (steps.empty())
        return;
    out_.text("<path class=\"step\" stroke=\"").text(colour).text("\" d=\"");
    const Step* previous = nullptr;
    for (const Step& s : steps) {
        if (previous == nullptr || s.start != previous->end) {
            out_.text("M");
            write_coordinate(out_, x(s.start));
            out_.text(" ");
            write_coordinate(out_, y(s.value));
        } else {
            out_.text("V");
            write_coordinate(out_, y(s.value));
        }
        out_.text("H");
        write_coordinate(out_, x(s.end));
        previous = &s;
    }
    out_.text("\"/>");
}

void SvgPlot::level(double value, std::string_view name) {
    open_line(out_, "level", kLeft, kRight, y(value), y(value));
    out_.text("/>");
    text_at(out_, "level", kRight - 4, y(value) - 4, "end", name);
}

void SvgPlot::tip(const Step& step, std::string_view text) {
    out_.text("<rect class=\"tip\" x=\"");
    write_coordinate(out_, x(step.start));
    out_.text("\" y=\"");
    write_coordinate(out_, kTop);
    out_.text("\" width=\"");
    write_coordinate(out_, std::max(x(step.end) - x(step.start), 0.0));
    out_.text("\" height=\"");
    write_coordinate(out_, kBottom - kTop);
    out_.text("\"><title>");
    write_html(out_, text);
    out_.text("</title></rect>");
}

void SvgPlot::marker(double at, std::size_t number, bool error, std::string_view title) {
    out_.text("<a href=\"#finding-").number(number).text("\">");
    open_line(out_, "marker", x(at), x(at), kTop, kBottom);
    out_.text(" stroke=\"").text(error ? kErrorColour : kWarningColour).text("\"><title>");
    write_html(out_, title);
    out_.text("</title></line></a>");
}

void SvgPlot::finish() {
    out_.text("</svg>\n");
}

}  // namespace asfinspect::view
