#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "check/answer_view.hpp"
#include "io/json_writer.hpp"

namespace asfinspect::check {

// The verdict on a file: only the decoder's findings, one line each in file
// order ("0x2c5: error [packet-parse]: ..."), then a count of them ("3
// errors, 1 warning in 37628 packets"); or the same as a JSON document. A
// code met more than kShownPerCode times shows its first findings and then
// one line that counts the rest; the count and the verdict take them all.
// Some findings are known only once the packets or the file end (how many
// packets end in zeros, a stream's worst delivery), so the findings shown
// are held, at most kShownPerCode of each code, and written by their offset
// when the file ends.
class CheckView final : public AnswerView {
  public:
    enum class Format { text, json };

    static constexpr std::uint64_t kShownPerCode = 100;

    CheckView(io::Output& out, Format format);

    // One file of several: each text line begins with its path, the JSON is
    // one line with its path; `quiet` leaves out its warnings, and its count
    // when it has no error.
    void set_batch(std::string_view path, bool quiet);
    // Whether the file began with no ASF object.
    bool not_asf() const { return not_asf_; }

    void begin(const decode::Part& part) override;
    void end(const decode::Part& part) override;
    void media_object(const decode::MediaObject& object) override;

  protected:
    void found(const decode::Finding& f) override;

  private:
    // The findings of one code: how many were shown, and the rest by severity.
    struct CodeTally {
        std::string_view code;
        std::uint64_t shown = 0;
        std::uint64_t more_errors = 0;
        std::uint64_t more_warnings = 0;
    };

    // A finding to show, with its own copy of its message.
    struct Held {
        std::int64_t offset = 0;
        decode::Severity severity = decode::Severity::warning;
        std::string_view code;
        std::string message;
    };

    CodeTally& tally_of(std::string_view code);
    void write_finding(const decode::Finding& f);
    void write_rest_text(const CodeTally& t);
    void write_rest_json(const CodeTally& t);
    void next_json_item();

    io::JsonWriter json_;
    Format format_;
    std::uint64_t media_objects_ = 0;
    std::string_view path_;  // the file's, in a run over several
    bool batch_ = false;
    bool quiet_ = false;
    bool not_asf_ = false;
    // One row per code met; the codes are a few dozen, so a search is enough.
    std::vector<CodeTally> tallies_;
    std::vector<Held> held_;
};

}  // namespace asfinspect::check
