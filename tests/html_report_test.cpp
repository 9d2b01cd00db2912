// The HTML report, opened by a real browser: headless Chromium loads it
// without a console message, its plots are drawn, and its screenshot is no
// blank page. Skipped where no browser is installed.

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "asf_writer.hpp"

namespace {

namespace fs = std::filesystem;

std::string browser() {
    for (const char* path :
         {"/usr/bin/chromium", "/usr/bin/chromium-browser", "/usr/bin/google-chrome"}) {
        if (::access(path, X_OK) == 0)
            return path;
    }
    return {};
}

std::string read_text(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Runs the browser headless on `url` with `what` (--dump-dom, --screenshot=...),
// its output and its log into files of `dir`; returns its exit status.
int run_browser(const std::string& chromium, const fs::path& dir, const std::string& what,
                const std::string& url) {
    const std::string command =
        "timeout 120 " + chromium +
        " --headless --no-sandbox --disable-gpu --no-first-run --hide-scrollbars"
        " --user-data-dir=" +
        (dir / "profile").string() + " --enable-logging=stderr --v=0 --window-size=1000,1400 " +
        what + " '" + url + "' >" + (dir / "out").string() + " 2>" + (dir / "log").string();
    return std::system(command.c_str());
}

class Directory {
  public:
    Directory() {
        char name[] = "/tmp/asfinspect-html-XXXXXX";
        if (::mkdtemp(name) == nullptr)
            std::abort();
        path_ = name;
    }
    ~Directory() { fs::remove_all(path_); }
    const fs::path& path() const { return path_; }

  private:
    fs::path path_;
};

}  // namespace

TEST(HtmlReport, ABrowserLoadsItWithoutErrorAndDrawsItsPlots) {
    const std::string chromium = browser();
    if (chromium.empty())
        GTEST_SKIP() << "no Chromium to open the report";
    const Directory dir;
    const fs::path report = dir.path() / "report.html";
    const std::string make = std::string(ASFINSPECT_BINARY) + " --html '" + ASFINSPECT_SOURCE_DIR +
                             "/examples/testsrc.wmv' >" + report.string();
    ASSERT_EQ(std::system(make.c_str()), 0);
    const std::string html = read_text(report);
    // Self-contained: nothing is fetched.
    EXPECT_EQ(html.find("src="), std::string::npos);
    EXPECT_EQ(html.find("href=\"http"), std::string::npos);

    ASSERT_EQ(run_browser(chromium, dir.path(), "--dump-dom", "file://" + report.string()), 0);
    const std::string dom = read_text(dir.path() / "out");
    const std::string log = read_text(dir.path() / "log");
    EXPECT_EQ(log.find("CONSOLE"), std::string::npos) << log;
    EXPECT_EQ(log.find("Uncaught"), std::string::npos) << log;
    for (const std::string id : {"map", "bitrate-1", "bitrate-2", "lead"})
        EXPECT_NE(dom.find("<svg id=\"" + id + "\""), std::string::npos) << id;
    // Each stream's bitrate as an area and a line of steps, and the lead of
    // each in a line.
    EXPECT_EQ(asftest::count_of(dom, "class=\"area\""), 2u);
    EXPECT_EQ(asftest::count_of(dom, "class=\"step\""), 4u);
    EXPECT_NE(dom.find("class=\"object\""), std::string::npos);

    ASSERT_EQ(
        run_browser(chromium, dir.path(), "--screenshot=" + (dir.path() / "report.png").string(),
                    "file://" + report.string()),
        0);
    ASSERT_EQ(
        run_browser(chromium, dir.path(), "--screenshot=" + (dir.path() / "blank.png").string(),
                    "data:text/html,<html></html>"),
        0);
    const std::string shot = read_text(dir.path() / "report.png");
    const std::string blank = read_text(dir.path() / "blank.png");
    ASSERT_GT(shot.size(), 8u);
    EXPECT_EQ(shot.substr(1, 3), "PNG");
    // A page of one colour compresses to almost nothing; text and plots don't.
    EXPECT_GT(shot.size(), 10 * blank.size()) << shot.size() << " against " << blank.size();
}
