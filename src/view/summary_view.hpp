#pragma once

#include <cstdint>

#include "answers/collector.hpp"
#include "answers/model.hpp"
#include "decode/selection.hpp"
#include "io/output.hpp"

namespace asfinspect::view {

// A file on one screen: its size, its duration as players show it and as
// its media objects measure it, bitrates and packets, flags, whether it is
// protected; each stream with its type, codec, format, language, declared
// and measured bitrates, media objects and key frames; the tags and
// pictures; the indexes; and the check's verdict in a line. As text for
// people, as one JSON document ({"file", "duration", "streams", "tags",
// "indexes", "verdict", ...}, described in doc/json.md), or as CSV of the
// streams, a row each under a header row. It renders the file's answers;
// when no packet was read (--packets=none), what the media objects measure
// is left out.
class SummaryView final : public answers::Collector {
  public:
    enum class Format { text, json, csv };

    SummaryView(io::Output& out, Format format);

    // The streams to show, by number; all of them when never called. The
    // file's own values (its measured duration, say) take every stream.
    void set_streams(const decode::StreamSet& streams) { shown_ = streams; }
    // One file of several, as CSV: its rows begin with its path, under the
    // one header row that write_csv_header writes before them all.
    void set_batch() { csv_path_ = true; }
    static void write_csv_header(io::Output& out, bool path);

    std::uint64_t errors() const { return errors_; }
    std::uint64_t warnings() const { return warnings_; }

  protected:
    void answered(const answers::FileAnswers& answers) override;

  private:
    Format format_;
    bool csv_path_ = false;
    decode::StreamSet shown_;
    std::uint64_t errors_ = 0;
    std::uint64_t warnings_ = 0;
};

}  // namespace asfinspect::view
