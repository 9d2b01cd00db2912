#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "answers/measures.hpp"
#include "answers/seconds.hpp"
#include "decode/facts.hpp"
#include "decode/view.hpp"
#include "io/decimal.hpp"
#include "io/json_writer.hpp"
#include "io/output.hpp"

// Value formatting shared by the views.
namespace asfinspect::view {

using answers::exact_seconds;
using answers::exact_seconds_of_ms;
using answers::exact_seconds_of_ticks;
using answers::seconds_for_people;
using answers::SecondsText;

void write_seconds(io::Output& out, std::uint64_t v, decode::Unit unit);

// A number to at most `digits` decimals, without trailing zeros: 29.97003
// to 3 is "29.97", 15.0 is "15". Values too large to write so are written in
// exponent form.
SecondsText decimal_text(double v, int digits);

// A bitrate mode as a word: "CBR" or "VBR".
std::string_view bitrate_mode_name(answers::BitrateMode mode);

// 999900 as "999,900": counts and sizes read by people.
void write_grouped(io::Output& out, std::uint64_t n);

// A FILETIME (100 ns ticks since 1601-01-01 UTC) as an exact UTC date and
// time: "2009-04-22 19:24:48" with `separator` ' ', or "2009-04-22T19:24:48"
// with 'T'; a fraction of a second follows when there is one.
void write_filetime(io::Output& out, std::uint64_t filetime, char separator);

// The registry form of a GUID.
void write_guid(io::Output& out, const asf::Guid& guid);

// The four characters of a FourCC, in the order they are stored.
void fourcc_chars(std::uint32_t v, char (&chars)[4]);

// Text for a terminal: between double quotes, with quotes, backslashes and
// control characters escaped, so that a line of the view stays one line.
void write_quoted(io::Output& out, std::string_view text);

// "error" or "warning".
std::string_view severity_name(decode::Severity severity);

// A finding as every JSON document writes it: {"offset", "severity", "code",
// "message"}.
void write_json_finding(io::JsonWriter& json, const decode::Finding& f);

// The member that names the file a JSON document is about:
// "file": {"path", "size"}.
void write_json_file(io::JsonWriter& json, std::string_view path, std::int64_t size);

// A CSV field (RFC 4180): as it is, or between double quotes, with quotes
// doubled, when it holds a comma, a quote or a line break.
void write_csv_field(io::Output& out, std::string_view text);

// Milliseconds that may be negative, as exact seconds: -1500 is "-1.5".
void write_signed_seconds(io::Output& out, std::int64_t ms);

// A timecode of BCD digits as "HH:MM:SS:FF"; false, writing nothing, when its
// digits aren't all decimal.
bool write_timecode(io::Output& out, std::uint32_t v);

// The parts of a flags field as text: for people ("Multiple Payloads
// Present: yes, Sequence Type: not present, ...") or as a JSON object
// ({"multiple_payloads_present":true,"sequence_type":0,...}), which the JSON
// puts beside the field's own member. The text of a field and a value is
// made once and kept: every packet has three or four flags fields, and a
// file's packets repeat a handful of values.
class FlagPartsText {
  public:
    enum class Style : std::uint8_t { people, json };

    explicit FlagPartsText(Style style) : style_(style) {}

    std::string_view of(const decode::Key& key, asf::FlagParts parts, std::uint64_t v);

  private:
    struct Kept {
        const char* field = nullptr;  // the key's label
        const asf::FlagPart* table = nullptr;
        std::uint64_t value = 0;
        std::uint64_t used = 0;  // when it was last asked for
        std::string text;
    };
    static constexpr std::size_t kKept = 64;  // a power of two

    void make(asf::FlagParts parts, std::uint64_t v, std::string& text) const;
    static void make_json(asf::FlagParts parts, std::uint64_t v, std::string& text);

    Style style_;
    std::array<Kept, kKept> kept_{};
    std::uint64_t uses_ = 0;
};

// A stream's type by its Stream Type: "audio", "video", ... or "unknown".
std::string_view stream_type_name(decode::StreamKind kind);

}  // namespace asfinspect::view
