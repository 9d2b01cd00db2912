#include "app/driver.hpp"

#include <vector>

#include "check/check_view.hpp"
#include "decode/decoder.hpp"
#include "decode/findings.hpp"
#include "decode/packets/packet.hpp"
#include "dump/dump.hpp"
#include "io/error_text.hpp"
#include "repair/repair.hpp"
#include "view/html_report.hpp"
#include "view/json_view.hpp"
#include "view/objects_view.hpp"
#include "view/packets_csv_view.hpp"
#include "view/summary_view.hpp"
#include "view/timeline_view.hpp"
#include "view/tree_view.hpp"

namespace asfinspect::app {

namespace {

// The numbers of the packets a decode shows, as runs: the packets that carry
// the media objects of a time selection, for the dump.
class PacketRuns final : public decode::View {
  public:
    explicit PacketRuns(std::vector<decode::PacketRange>& runs) : runs_(runs) {}

    bool wants_fields() const override { return false; }
    void packet(const decode::Packet& packet) override {
        if (!runs_.empty() && runs_.back().last + 1 == packet.index) {
            runs_.back().last = packet.index;
        } else {
            runs_.push_back({packet.index, packet.index, false});
        }
    }

  private:
    std::vector<decode::PacketRange>& runs_;
};

// The dump of the packets that carry the media objects of a time selection.
void dump_time_selection(io::FileReader& file, io::Output& out, const Options& options,
                         std::string_view path) {
    std::vector<decode::PacketRange> runs;
    {
        PacketRuns finder(runs);
        decode::DiscardFindings discard;
        decode::decode_file(file, finder, discard, path, options.selection);
    }
    if (file.failed())
        return;
    if (runs.empty())
        runs.push_back(decode::PacketRange::none());
    dump::dump_file(file, out, runs);
}

template <typename ViewFormat>
ViewFormat format_of(Format f) {
    return f == Format::json  ? ViewFormat::json
           : f == Format::csv ? ViewFormat::csv
                              : ViewFormat::text;
}

// Hands the findings on to the view's sink, if it has one, and keeps the
// decoder's word that the file is no ASF, which every mode reports.
class NotAsfWatch final : public decode::FindingSink {
  public:
    NotAsfWatch(decode::FindingSink* sink, std::string& not_asf) : sink_(sink), not_asf_(not_asf) {}

    void finding(const decode::Finding& f) override {
        if (f.code == decode::codes::kNotAsf && not_asf_.empty())
            not_asf_.assign(f.message);
        if (sink_ != nullptr)
            sink_->finding(f);
    }
    bool failed() const override { return sink_ != nullptr && sink_->failed(); }
    bool wants_findings() const override { return sink_ != nullptr && sink_->wants_findings(); }

  private:
    decode::FindingSink* sink_;
    std::string& not_asf_;
};

// Shows nothing, and stops the decode once the file began with an object:
// the decoder has said by then whether it is ASF.
class FirstObject final : public decode::View {
  public:
    bool wants_fields() const override { return false; }
    bool failed() const override { return begun_; }
    void begin(const decode::Part& part) override {
        begun_ = begun_ || part.kind == decode::Part::Kind::object;
    }

  private:
    bool begun_ = false;
};

// Shows nothing: learns which of the streams selected the file declares,
// and for a time range whether a packet carries a media object of the
// selection, then stops the decode.
class SelectionProbe final : public decode::View {
  public:
    SelectionProbe(const decode::Selection& selection, SelectionFound& found)
        : selection_(selection), found_(found) {
        found_.anything = !selection.time;
    }

    bool wants_fields() const override { return false; }
    bool failed() const override { return done_; }
    void begin(const decode::Part& part) override {
        if (part.kind == decode::Part::Kind::packets && part.facts != nullptr)
            take(*part.facts);
    }
    void end(const decode::Part& part) override {
        // A file without a Data Object has no packets to begin.
        if (part.kind == decode::Part::Kind::file && part.summary->facts != nullptr)
            take(*part.summary->facts);
    }
    void packet(const decode::Packet& /*packet*/) override {
        found_.anything = true;
        done_ = true;
    }

  private:
    void take(const decode::Facts& facts) {
        if (taken_)
            return;
        taken_ = true;
        bool any_declared = false;
        // Stream 0 is no stream; it is among "all streams" only.
        for (std::size_t n = 1; n < decode::kStreamNumbers && !selection_.all_streams(); ++n) {
            if (!selection_.streams.test(n))
                continue;
            if (facts.streams[n].declared) {
                any_declared = true;
            } else {
                found_.undeclared.set(n);
            }
        }
        // Packets carry no stream the file doesn't declare.
        done_ = !selection_.time || (!selection_.all_streams() && !any_declared);
    }

    const decode::Selection& selection_;
    SelectionFound& found_;
    bool taken_ = false;
    bool done_ = false;
};

}  // namespace

void FileRun::decode(decode::View& view, decode::FindingSink* sink,
                     const decode::DecodeOptions& selection) {
    NotAsfWatch watch(sink, not_asf);
    decode::decode_file(file, view, watch, path, selection);
    decoded = true;
}

Verdict drive_dump(FileRun& run) {
    const Options& options = run.options;
    if (options.selection.time) {
        dump_time_selection(run.file, run.out, options, run.path);
    } else {
        dump::dump_file(run.file, run.out, options.selection.packets);
    }
    return {};
}

Verdict drive_tree(FileRun& run) {
    const decode::DecodeOptions& selection = run.options.selection;
    switch (run.options.format) {
        case Format::json: {
            view::JsonView json(run.out);
            run.decode(json, &json, selection);
            break;
        }
        case Format::csv: {
            view::PacketsCsvView csv(run.out);
            csv.set_batch();  // CSV always has its path column
            run.decode(csv, &csv, selection);
            break;
        }
        case Format::text: {
            view::TreeView tree(run.out);
            run.decode(tree, &tree, selection);
            break;
        }
    }
    return {};
}

Verdict drive_check(FileRun& run) {
    const Options& options = run.options;
    check::CheckView verdict(run.out, options.format == Format::json
                                          ? check::CheckView::Format::json
                                          : check::CheckView::Format::text);
    if (run.named())
        verdict.set_batch(run.path, options.quiet);
    run.decode(verdict, &verdict, options.selection);
    return {verdict.errors() == 0 ? kExitOk : kExitInconsistent, verdict.errors(),
            verdict.warnings()};
}

Verdict drive_summary(FileRun& run) {
    const Options& options = run.options;
    view::SummaryView summary(run.out, format_of<view::SummaryView::Format>(options.format));
    summary.set_streams(options.selection.streams);
    if (run.named())
        summary.set_batch();
    decode::DecodeOptions whole = options.selection;
    whole.streams.set();  // the file's measures take every stream
    run.decode(summary, &summary, whole);
    return {kExitOk, summary.errors(), summary.warnings()};
}

Verdict drive_objects(FileRun& run) {
    view::ObjectsView objects(run.out, format_of<view::ObjectsView::Format>(run.options.format));
    if (run.named())
        objects.set_batch();
    run.decode(objects, nullptr, run.options.selection);
    return {};
}

Verdict drive_timeline(FileRun& run) {
    const Options& options = run.options;
    view::TimelineView timeline(run.out, format_of<view::TimelineView::Format>(options.format),
                                options.interval);
    timeline.select(options.selection.streams, options.selection.time);
    if (run.named())
        timeline.set_batch();
    // The buckets and the intervals' totals take every packet.
    run.decode(timeline, nullptr, decode::DecodeOptions{});
    return {};
}

Verdict drive_html(FileRun& run) {
    view::HtmlReport report(run.out);
    run.decode(report, &report, decode::DecodeOptions{});
    return {kExitOk, report.errors(), report.warnings()};
}

std::string not_asf_finding(io::FileReader& file, std::string_view path) {
    std::string not_asf;
    FirstObject view;
    NotAsfWatch watch(nullptr, not_asf);
    decode::Selection header;
    header.packets = decode::PacketRange::none();
    decode::decode_file(file, view, watch, path, header);
    return not_asf;
}

SelectionFound find_selection(io::FileReader& file, std::string_view path,
                              const decode::Selection& selection) {
    SelectionFound found;
    SelectionProbe probe(selection, found);
    decode::DiscardFindings discard;
    decode::Selection narrowed = selection;
    // Without a time range only the header is wanted.
    if (!selection.time)
        narrowed.packets = decode::PacketRange::none();
    decode::decode_file(file, probe, discard, path, narrowed);
    return found;
}

// 3 for damage it can't mend or a result that didn't prove whole, as for a
// check that finds an error.
int run_repair(const Options& options, io::Output& out, io::Output& err) {
    repair::Request request;
    request.file = options.paths.front();
    request.out = options.own_option("-o").value_or("");
    request.reference = options.own_option("--reference").value_or("");
    request.dry_run = options.own_option("--dry-run").has_value();
    request.force = options.own_option("--force").has_value();
    request.json = options.format == Format::json;
    if (request.out.empty() && !request.dry_run)
        return usage_error(err, "--repair needs -o OUT, the file to write");
    switch (repair::repair(request, out, err)) {
        case repair::Outcome::repaired:
        case repair::Outcome::nothing_to_repair:
        case repair::Outcome::dry_run:
            break;
        case repair::Outcome::usage:
            return usage_error(err, "");
        case repair::Outcome::failure:
            return kExitFailure;
        case repair::Outcome::cannot_mend:
            return kExitInconsistent;
    }
    if (!out.flush()) {
        err.text("asfinspect: write error: ").text(io::error_text(out.error())).end_line();
        err.flush();
        return kExitFailure;
    }
    return kExitOk;
}

}  // namespace asfinspect::app
