#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "decode/facts.hpp"
#include "decode/view.hpp"
#include "io/output.hpp"
#include "view/answer_view.hpp"

namespace asfinspect::view {

// A file on one screen, from one pass: its size, its duration as players
// show it and as its media objects measure it, bitrates and packets, flags,
// whether it is protected; each stream with its type, codec, format,
// language, declared and measured bitrates, media objects and key frames;
// the tags and pictures; the indexes; and the check's verdict in a line.
// As text for people, as one JSON document ({"file", "duration", "streams",
// "tags", "indexes", "verdict", ...}, described in doc/json.md), or as CSV of
// the streams, a row each under a header row.
//
// It shows no fields: it takes the facts the decoder learnt of the header
// (FileSummary::facts), the media objects and the findings, and writes when
// the file ends. When no packet was decoded (--packets=none), what the media
// objects measure is left out.
class SummaryView final : public AnswerView {
  public:
    enum class Format { text, json, csv };

    SummaryView(io::Output& out, Format format);

    // The streams to show, by number; all of them when never called. The
    // file's own values (its measured duration, say) take every stream.
    void set_streams(const decode::StreamSet& streams);
    // One file of several, as CSV: its rows begin with its path, and only the
    // first file's output has the header row.
    void set_batch(bool header) {
        csv_path_ = true;
        csv_header_ = header;
    }

    void begin(const decode::Part& part) override;
    void end(const decode::Part& part) override;
    void media_object(const decode::MediaObject& object) override;

    // What the media objects of one stream measure; times in milliseconds
    // as ASF stores them, the preroll included.
    struct Measured {
        std::uint64_t objects = 0;
        std::uint64_t key_frames = 0;
        std::uint64_t bytes = 0;
        std::uint32_t first = 0;      // the earliest presentation time
        std::uint32_t last = 0;       // the latest
        std::uint32_t last_size = 0;  // of the object at `last`
        std::uint32_t interval = 0;   // from the latest time before `last` to it
        std::uint32_t last_key = 0;
        std::uint32_t longest_key_interval = 0;
    };

    // The findings of one code, by severity.
    struct CodeCount {
        std::string_view code;  // one of the decoder's constants
        std::uint64_t errors = 0;
        std::uint64_t warnings = 0;
    };

  protected:
    void found(const decode::Finding& f) override;

  private:
    Format format_;
    bool csv_path_ = false;
    bool csv_header_ = true;
    decode::StreamSet shown_;
    std::string path_;
    std::int64_t size_ = 0;
    std::vector<CodeCount> codes_;  // the codes are a few dozen
    std::array<Measured, decode::kStreamNumbers> measured_{};
    // Bytes of media objects by the second of their packets' send time, for
    // the highest bitrate over a second.
    std::uint64_t window_ = 0;
    std::uint64_t window_bytes_ = 0;
    std::uint64_t peak_window_bytes_ = 0;
    std::uint64_t windows_ = 0;
};

}  // namespace asfinspect::view
