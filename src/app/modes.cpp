#include "app/modes.hpp"

#include <array>

#include "view/objects_view.hpp"
#include "view/packets_csv_view.hpp"
#include "view/summary_view.hpp"
#include "view/timeline_view.hpp"

namespace asfinspect::app {

namespace {

using namespace formats;
using namespace takes;

// The tree is the decode as text; --json and --csv alone write it as JSON
// and CSV (its packets).
constexpr std::array kModes{
    Mode{Show::dump,
         "",
         "the dump",
         kText,
         "text",
         kPackets | kTime,
         {},
         "",
         false,
         false,
         nullptr,
         drive_dump},
    Mode{Show::tree,
         "--tree",
         "--tree, --json, --csv",
         kText | kJson | kCsv,
         "text",
         kPackets | kStreams | kTime | kMany,
         {},
         "\n",
         false,
         true,
         view::PacketsCsvView::write_csv_header,
         drive_tree},
    Mode{Show::check,
         "--check",
         "--check",
         kText | kJson,
         "text",
         kMany | kQuiet,
         {},
         "",
         true,
         true,
         nullptr,
         drive_check},
    Mode{Show::summary,
         "--summary",
         "--summary",
         kText | kJson | kCsv,
         "text",
         kPackets | kStreams | kMany,
         {},
         "\n",
         false,
         true,
         view::SummaryView::write_csv_header,
         drive_summary},
    Mode{Show::objects,
         "--objects",
         "--objects",
         kText | kJson | kCsv,
         "text",
         kPackets | kStreams | kTime | kMany,
         {},
         "\n",
         false,
         true,
         view::ObjectsView::write_csv_header,
         drive_objects},
    Mode{Show::timeline,
         "--timeline",
         "--timeline",
         kText | kJson | kCsv,
         "text",
         kStreams | kTime | kInterval | kMany,
         {},
         "\n",
         false,
         true,
         view::TimelineView::write_csv_header,
         drive_timeline},
    Mode{
        Show::html, "--html", "--html", kText, "HTML", 0, {}, "", false, true, nullptr, drive_html},
};

}  // namespace

std::span<const Mode> modes() {
    return kModes;
}

const Mode& mode_of(Show show) {
    for (const Mode& mode : kModes) {
        if (mode.show == show)
            return mode;
    }
    return kModes.front();
}

}  // namespace asfinspect::app
