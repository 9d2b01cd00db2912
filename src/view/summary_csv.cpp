// The summary's streams as CSV, a row each.

#include "view/format.hpp"
#include "view/summary_columns.hpp"
#include "view/summary_writers.hpp"

namespace asfinspect::view {

void write_summary_csv_header(io::Output& out, bool path) {
    out.text(path ? "path," : "");
    for (std::size_t i = 0; i < std::size(kColumnNames); ++i)
        out.text(i == 0 ? "" : ",").text(kColumnNames[i]);
    out.text("\r\n");
}

// Several files share the header row, which the run writes before them.
void write_summary_csv(io::Output& out, const answers::FileAnswers& a,
                       const decode::StreamSet& shown, bool path) {
    if (!path)
        write_summary_csv_header(out, false);
    for (const answers::StreamAnswers& s : a.streams) {
        if (!shown.test(s.number))
            continue;
        if (path) {
            write_csv_field(out, a.path);
            out.text(",");
        }
        const Cells row = stream_cells(s);
        for (std::size_t i = 0; i < row.size(); ++i) {
            const Cell& cell = row[i];
            out.text(i == 0 ? "" : ",");
            switch (cell.kind) {
                case Cell::Kind::number:
                    out.number(cell.number);
                    break;
                case Cell::Kind::seconds:
                    out.text(exact_seconds_of_ticks(cell.ticks).view());
                    break;
                case Cell::Kind::text:
                    write_csv_field(out, cell.text);
                    break;
                case Cell::Kind::boolean:
                    out.text(cell.number != 0 ? "true" : "false");
                    break;
                case Cell::Kind::absent:
                    break;
            }
        }
        out.text("\r\n");
    }
}

}  // namespace asfinspect::view
