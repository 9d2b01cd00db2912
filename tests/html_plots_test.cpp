// The report's SVG, read back: its plots are steps with round ticks, a stream
// sent at a constant rate draws a flat line, and the map shows every finding.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "decode_helpers.hpp"
#include "view/html_report.hpp"

using namespace asftest;

namespace {

namespace fs = std::filesystem;

std::string report_of(const Bytes& file) {
    return decode_with<asfinspect::view::HtmlReport>(file, {});
}

// The value of attribute `name` of the element that starts at `at`.
std::string attribute(const std::string& html, std::size_t at, const std::string& name) {
    const std::size_t end = html.find('>', at);
    const std::size_t start = html.find(" " + name + "=\"", at);
    if (start == std::string::npos || start > end)
        return {};
    const std::size_t from = start + name.size() + 3;
    return html.substr(from, html.find('"', from) - from);
}

// Each element with `class`, from `from` to `to`: where it starts.
std::vector<std::size_t> elements(const std::string& html, const std::string& css, std::size_t from,
                                  std::size_t to) {
    std::vector<std::size_t> found;
    const std::string key = "class=\"" + css + "\"";
    for (std::size_t at = html.find(key, from); at < to; at = html.find(key, at + 1))
        found.push_back(html.rfind('<', at));
    return found;
}

// The numbers of the tick labels of one axis.
std::vector<double> ticks(const std::string& html, const std::string& css, std::size_t from,
                          std::size_t to) {
    std::vector<double> values;
    for (const std::size_t at : elements(html, css, from, to))
        values.push_back(std::stod(html.substr(html.find('>', at) + 1)));
    return values;
}

bool nice(double step) {
    const double mantissa = step / std::pow(10.0, std::floor(std::log10(step) + 1e-9));
    for (const double m : {1.0, 2.0, 2.5, 5.0}) {
        if (std::abs(mantissa - m) < 1e-6)
            return true;
    }
    return false;
}

// Every plot: paths of horizontal and vertical segments only, and each axis
// with three labels or more, evenly spaced on a round step.
void expect_plots_of_steps(const std::string& html) {
    std::size_t plots = 0;
    for (std::size_t at = html.find("class=\"plot\""); at != std::string::npos;
         at = html.find("class=\"plot\"", at + 1)) {
        const std::size_t end = html.find("</svg>", at);
        const std::string id = attribute(html, html.rfind('<', at), "id");
        SCOPED_TRACE(id);
        ++plots;
        for (const std::string css : {"step", "area"}) {
            for (const std::size_t path : elements(html, css, at, end)) {
                const std::string d = attribute(html, path, "d");
                EXPECT_EQ(d.find_first_not_of("MHVZ0123456789. -"), std::string::npos) << d;
            }
        }
        for (const std::string axis : {"tick-x", "tick-y"}) {
            const std::vector<double> labels = ticks(html, axis, at, end);
            ASSERT_GE(labels.size(), 3u) << axis;
            const double step = labels[1] - labels[0];
            EXPECT_TRUE(nice(step)) << axis << " " << step;
            for (std::size_t i = 1; i < labels.size(); ++i)
                EXPECT_NEAR(labels[i] - labels[i - 1], step, step * 1e-6) << axis;
        }
    }
    EXPECT_GT(plots, 0u);
}

// `packets` packets of 50 bytes, 10 ms apart, each with a 20-byte media
// object of the audio stream: 16 kb/s, constant. The video stream has none.
FileSpec constant_rate(std::uint32_t packets) {
    FileSpec spec;
    spec.packet_size = 50;
    spec.play_duration = (spec.preroll + packets * 10ULL) * 10'000;
    spec.packets.clear();
    for (std::uint32_t i = 0; i < packets; ++i) {
        const auto number = static_cast<std::uint8_t>(i);
        spec.packets.push_back({i * 10, {{1, true, number, 0, 20, 1000 + i * 10, 20}}});
    }
    return spec;
}

Bytes read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

TEST(HtmlPlots, EveryFileIsPlottedInStepsWithRoundTicks) {
    const fs::path source = ASFINSPECT_SOURCE_DIR;
    std::vector<fs::path> files = {source / "examples/testsrc.wmv"};
    for (const fs::path& dir : {source / "tests/data", source / "tests/data/gstreamer",
                                fs::path(ASFINSPECT_SAMPLES_DIR)}) {
        if (!fs::exists(dir))
            continue;
        for (const auto& entry : fs::directory_iterator(dir)) {
            if (entry.is_regular_file() && entry.path().extension() != ".md")
                files.push_back(entry.path());
        }
    }
    for (const fs::path& file : files) {
        SCOPED_TRACE(file.string());
        const std::string html = report_of(read_file(file));
        if (html.find("class=\"plot\"") != std::string::npos)
            expect_plots_of_steps(html);
    }
}

TEST(HtmlPlots, AStreamAtAConstantRateIsAFlatLine) {
    const std::string html = report_of(build(constant_rate(4000)));
    expect_plots_of_steps(html);
    const std::size_t plot = html.find("<svg id=\"bitrate-1\"");
    ASSERT_NE(plot, std::string::npos);
    const std::size_t path = elements(html, "step", plot, html.find("</svg>", plot)).at(0);
    // M x y H x, then a V to the same y and an H for each bin.
    const std::string d = attribute(html, path, "d");
    const std::string y = d.substr(d.find(' ') + 1, d.find('H') - d.find(' ') - 1);
    for (std::size_t v = d.find('V'); v != std::string::npos; v = d.find('V', v + 1))
        EXPECT_EQ(d.substr(v + 1, d.find('H', v) - v - 1), y) << d;
    EXPECT_NE(html.find("<title>0\xE2\x80\x93"
                        "0.1 s: 16 kb/s</title>"),
              std::string::npos);
    // The video stream has no data: a sentence, no plot.
    EXPECT_EQ(html.find("<svg id=\"bitrate-2\""), std::string::npos);
    EXPECT_NE(html.find("No packet carries data of this stream."), std::string::npos);
}

// The level on a stream's bitrate plot is named for what it is: the leaky
// bucket's R, or the recorded average where R is 0.
TEST(HtmlPlots, TheDeclaredLevelIsNamedForItsSource) {
    for (const std::uint32_t r : {0u, 64'000u}) {
        SCOPED_TRACE(r);
        FileSpec spec = constant_rate(40);
        Bytes average;
        put16(average, 1);  // records
        put16(average, 1);  // stream 1
        put32(average, 16'000);
        spec.more_header_objects = {
            object(asfinspect::asf::guid_named("ASF_Stream_Bitrate_Properties_Object"), average)};
        Bytes extended(16, 0);  // start and end time
        put32(extended, r);
        extended.resize(extended.size() + 7 * 4, 0);  // buffers, alternates, size, flags
        put16(extended, 1);                           // stream 1
        extended.resize(extended.size() + 14, 0);     // language, frame time, counts
        spec.header_extension_data =
            object(asfinspect::asf::guid_named("ASF_Extended_Stream_Properties_Object"), extended);
        const std::string html = report_of(build(spec));
        const std::size_t plot = html.find("<svg id=\"bitrate-1\"");
        ASSERT_NE(plot, std::string::npos);
        const std::string key = html.substr(html.rfind("<p class=\"key\">", plot));
        EXPECT_LT(key.find(r == 0 ? "average declared" : "leaky bucket's R"), key.find("</p>"))
            << key.substr(0, key.find("</p>"));
    }
}

// Findings 50 bytes apart in a file of 1 MB, and one in its last packet, each
// keep a marker of their own, or a count in one, inside the map.
TEST(HtmlPlots, TheMapShowsEveryFindingEvenWhenCrowded) {
    FileSpec spec = constant_rate(20'000);
    for (const std::size_t i : {10'000u, 10'001u, 10'002u, 19'999u})
        spec.packets[i].padding_delta = 5;
    const std::string html = report_of(build(spec));
    const std::size_t map = html.find("<svg id=\"map\"");
    const std::size_t map_end = html.find("</svg>", map);
    std::size_t findings = 0;
    for (std::size_t at = html.find("<tr id=\"finding-"); at != std::string::npos;
         at = html.find("<tr id=\"finding-", at + 1)) {
        ++findings;
    }
    ASSERT_GE(findings, 4u);
    std::map<std::string, std::vector<std::pair<double, double>>> lanes;  // y: x ranges
    std::multiset<int> shown;
    for (const std::size_t marker : elements(html, "finding", map, map_end)) {
        const double x = std::stod(attribute(html, marker, "x"));
        const double width = std::stod(attribute(html, marker, "width"));
        EXPECT_GE(x, 0);
        EXPECT_LE(x + width, 1000);
        lanes[attribute(html, marker, "y")].emplace_back(x, x + width);
        const std::string numbers = attribute(html, marker, "data-findings");
        for (std::size_t at = 0; at < numbers.size(); at = numbers.find(' ', at) + 1) {
            shown.insert(std::stoi(numbers.substr(at)));
            if (numbers.find(' ', at) == std::string::npos)
                break;
        }
    }
    for (std::size_t n = 1; n <= findings; ++n)
        EXPECT_EQ(shown.count(static_cast<int>(n)), 1u) << "finding " << n;
    for (auto& [y, ranges] : lanes) {
        std::sort(ranges.begin(), ranges.end());
        for (std::size_t i = 1; i < ranges.size(); ++i)
            EXPECT_LE(ranges[i - 1].second, ranges[i].first) << "markers cover each other at " << y;
    }
}

// A file whose header lacks File Properties: what it doesn't say is unknown,
// never 0, and no part of the report is empty.
TEST(HtmlPlots, ABrokenHeaderShowsNoZeroForUnknownAndNoEmptyPart) {
    Bytes file = build({});
    Bytes properties;
    put(properties, asfinspect::asf::guid_named("ASF_File_Properties_Object"));
    const auto at = std::search(file.begin(), file.end(), properties.begin(), properties.end());
    ASSERT_NE(at, file.end());
    *at ^= 0xff;
    const std::string html = report_of(file);
    EXPECT_NE(html.find("Preroll unknown, maximum bitrate not declared."), std::string::npos);
    EXPECT_NE(html.find("No data packet was read"), std::string::npos);
    for (const char* made_up : {" 0 ms", " 0 bit/s", "0.0 s", "</th></tr>\n</table>"})
        EXPECT_EQ(html.find(made_up), std::string::npos) << made_up;
}
