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

// --repair's own options.
constexpr OwnOption kRepairOptions[] = {
    {"-o", true},
    {"--reference", true},
    {"--dry-run", false},
    {"--force", false},
};

// The tree is the decode as text; --json and --csv alone write it as JSON
// and CSV (its packets).
constexpr std::array kModes{
    Mode{.show = Show::dump,
         .flag = "",
         .label = "the dump",
         .formats = kText,
         .text_is = "text",
         .takes = kPackets | kTime,
         .own = {},
         .between_files = "",
         .counts_files = false,
         .fails_not_asf = false,
         .csv_header = nullptr,
         .drive = drive_dump},
    Mode{.show = Show::tree,
         .flag = "--tree",
         .label = "--tree, --json, --csv",
         .formats = kText | kJson | kCsv,
         .text_is = "text",
         .takes = kPackets | kStreams | kTime | kMany,
         .own = {},
         .between_files = "\n",
         .counts_files = false,
         .fails_not_asf = true,
         .csv_header = view::PacketsCsvView::write_csv_header,
         .drive = drive_tree},
    Mode{.show = Show::check,
         .flag = "--check",
         .label = "--check",
         .formats = kText | kJson,
         .text_is = "text",
         .takes = kMany | kQuiet,
         .own = {},
         .between_files = "",
         .counts_files = true,
         .fails_not_asf = true,
         .csv_header = nullptr,
         .drive = drive_check},
    Mode{.show = Show::summary,
         .flag = "--summary",
         .label = "--summary",
         .formats = kText | kJson | kCsv,
         .text_is = "text",
         .takes = kPackets | kStreams | kMany,
         .own = {},
         .between_files = "\n",
         .counts_files = false,
         .fails_not_asf = true,
         .csv_header = view::SummaryView::write_csv_header,
         .drive = drive_summary},
    Mode{.show = Show::objects,
         .flag = "--objects",
         .label = "--objects",
         .formats = kText | kJson | kCsv,
         .text_is = "text",
         .takes = kPackets | kStreams | kTime | kMany,
         .own = {},
         .between_files = "\n",
         .counts_files = false,
         .fails_not_asf = true,
         .csv_header = view::ObjectsView::write_csv_header,
         .drive = drive_objects},
    Mode{.show = Show::timeline,
         .flag = "--timeline",
         .label = "--timeline",
         .formats = kText | kJson | kCsv,
         .text_is = "text",
         .takes = kStreams | kTime | kInterval | kMany,
         .own = {},
         .between_files = "\n",
         .counts_files = false,
         .fails_not_asf = true,
         .csv_header = view::TimelineView::write_csv_header,
         .drive = drive_timeline},
    Mode{.show = Show::html,
         .flag = "--html",
         .label = "--html",
         .formats = kText,
         .text_is = "HTML",
         .takes = 0,
         .own = {},
         .between_files = "",
         .counts_files = false,
         .fails_not_asf = true,
         .csv_header = nullptr,
         .drive = drive_html},
    Mode{.show = Show::repair,
         .flag = "--repair",
         .label = "--repair",
         .formats = kText | kJson,
         .text_is = "text",
         .takes = 0,
         .own = kRepairOptions,
         .between_files = "",
         .counts_files = false,
         .fails_not_asf = true,
         .csv_header = nullptr,
         .drive = nullptr,
         .run = run_repair},
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
