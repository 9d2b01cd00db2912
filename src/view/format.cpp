#include "view/format.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <iterator>

#include "asf/guid_registry.hpp"
#include "asf/time_units.hpp"
#include "asf/timecode.hpp"
#include "io/decimal.hpp"
#include "io/json_writer.hpp"

namespace asfinspect::view {

namespace {

using asf::kTicksPerSecond;
constexpr std::uint64_t kSecondsPerDay = 86'400;
// Days from 1601-01-01 to 1970-01-01.
constexpr std::int64_t kDaysFrom1601To1970 = 134'774;

void write_two_digits(io::Output& out, std::uint64_t v) {
    const char buf[2] = {static_cast<char>('0' + v / 10 % 10), static_cast<char>('0' + v % 10)};
    out.text(std::string_view(buf, 2));
}

// Year, month and day of a count of days since 1970-01-01, in the
// proleptic Gregorian calendar.
struct CivilDate {
    std::int64_t year;
    unsigned month;
    unsigned day;
};

CivilDate civil_from_days(std::int64_t z) {
    z += 719'468;
    const std::int64_t era = (z >= 0 ? z : z - 146'096) / 146'097;
    const auto doe = static_cast<std::uint64_t>(z - era * 146'097);
    const std::uint64_t yoe = (doe - doe / 1460 + doe / 36'524 - doe / 146'096) / 365;
    const std::int64_t y = static_cast<std::int64_t>(yoe) + era * 400;
    const std::uint64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::uint64_t mp = (5 * doy + 2) / 153;
    const auto d = static_cast<unsigned>(doy - (153 * mp + 2) / 5 + 1);
    const auto m = static_cast<unsigned>(mp < 10 ? mp + 3 : mp - 9);
    return {y + (m <= 2 ? 1 : 0), m, d};
}

// The backslash escapes that text for people and JSON share; false for any
// other character.
bool write_short_escape(io::Output& out, unsigned char c) {
    switch (c) {
        case '"':
            out.text("\\\"");
            return true;
        case '\\':
            out.text("\\\\");
            return true;
        case '\n':
            out.text("\\n");
            return true;
        case '\t':
            out.text("\\t");
            return true;
        case '\r':
            out.text("\\r");
            return true;
        default:
            return false;
    }
}

}  // namespace

void write_seconds(io::Output& out, std::uint64_t v, decode::Unit unit) {
    out.text(exact_seconds(v, unit).view());
}

void write_signed_seconds(io::Output& out, std::int64_t ms) {
    out.text(exact_seconds_of_ms(ms).view());
}

void write_csv_field(io::Output& out, std::string_view text) {
    if (text.find_first_of(",\"\r\n") == std::string_view::npos) {
        out.text(text);
        return;
    }
    out.text("\"");
    std::size_t run = 0;
    // Each pass writes the text up to a quote, and doubles it.
    for (auto quote = text.find('"'); quote != std::string_view::npos;
         quote = text.find('"', quote + 1)) {
        out.text(text.substr(run, quote + 1 - run)).text("\"");
        run = quote + 1;
    }
    out.text(text.substr(run)).text("\"");
}

void write_grouped(io::Output& out, std::uint64_t n) {
    char digits[32];
    std::size_t len = 0;
    int placed = 0;
    // One digit a pass, and a comma before each group of three after the
    // first; a 64-bit value has at most 20 digits.
    do {
        if (placed > 0 && placed % 3 == 0)
            digits[len++] = ',';
        digits[len++] = static_cast<char>('0' + n % 10);
        ++placed;
        n /= 10;
    } while (n != 0);
    std::reverse(digits, digits + len);
    out.text(std::string_view(digits, len));
}

void write_filetime(io::Output& out, std::uint64_t filetime, char separator) {
    const std::uint64_t seconds = filetime / kTicksPerSecond;
    const auto days = static_cast<std::int64_t>(seconds / kSecondsPerDay);
    const std::uint64_t in_day = seconds % kSecondsPerDay;
    const CivilDate date = civil_from_days(days - kDaysFrom1601To1970);
    out.signed_number(date.year).text("-");
    write_two_digits(out, date.month);
    out.text("-");
    write_two_digits(out, date.day);
    out.text(std::string_view(&separator, 1));
    write_two_digits(out, in_day / 3600);
    out.text(":");
    write_two_digits(out, in_day / 60 % 60);
    out.text(":");
    write_two_digits(out, in_day % 60);
    // The fraction of a second, as "0.4395" writes it after its "0".
    const SecondsText fraction =
        exact_seconds(filetime % kTicksPerSecond, decode::Unit::hundred_nanoseconds);
    out.text(fraction.view().substr(1));
}

void write_guid(io::Output& out, const asf::Guid& guid) {
    out.text(asf::as_view(asf::registry_form(guid)));
}

void fourcc_chars(std::uint32_t v, char (&chars)[4]) {
    for (int i = 0; i < 4; ++i)
        chars[i] = static_cast<char>(v >> (8 * i));
}

void write_quoted(io::Output& out, std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    out.text("\"");
    std::size_t run = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x20 && c != 0x7f && c != '"' && c != '\\')
            continue;
        out.text(text.substr(run, i - run));
        run = i + 1;
        if (!write_short_escape(out, c)) {
            const char esc[4] = {'\\', 'x', kHex[c >> 4], kHex[c & 0xf]};
            out.text(std::string_view(esc, 4));
        }
    }
    out.text(text.substr(run)).text("\"");
}

std::string_view severity_name(decode::Severity severity) {
    return severity == decode::Severity::error ? "error" : "warning";
}

void write_json_finding(io::JsonWriter& json, const decode::Finding& f) {
    json.begin_object()
        .member_signed("offset", f.offset)
        .member_string("severity", severity_name(f.severity))
        .member_string("code", f.code)
        .member_string("message", f.message)
        .end_object();
}

void write_json_file(io::JsonWriter& json, std::string_view path, std::int64_t size) {
    json.key("file").begin_object().member_string("path", path).member_signed("size", size);
    json.end_object();
}

bool write_timecode(io::Output& out, std::uint32_t v) {
    if (!asf::bcd_timecode(v))
        return false;
    // The BCD digits are the hexadecimal digits of each byte, hours first.
    static constexpr char kDigits[] = "0123456789";
    char text[11];
    std::size_t n = 0;
    for (int shift = 24; shift >= 0; shift -= 8) {
        if (shift != 24)
            text[n++] = ':';
        text[n++] = kDigits[v >> (shift + 4) & 0xF];
        text[n++] = kDigits[v >> shift & 0xF];
    }
    out.text(std::string_view(text, n));
    return true;
}

std::string_view FlagPartsText::of(const decode::Key& key, asf::FlagParts parts, std::uint64_t v) {
    // A field and a value may be kept in either of two places, which their
    // hash picks; a new one takes the place not used last. A few fields of a
    // few values each are kept for good, whatever the addresses of tables.
    const auto table = reinterpret_cast<std::uintptr_t>(parts.data());
    const std::uint64_t hash = (table ^ v * 0xff51afd7ed558ccdULL) * 0x9E3779B97F4A7C15ULL;
    Kept* const places[2] = {&kept_[hash >> 58 & (kKept - 1)], &kept_[hash >> 52 & (kKept - 1)]};
    // A key's label is a literal: the same address holds the same name.
    const auto holds = [&](const Kept* k) {
        return k->field == key.label().data() && k->table == parts.data() && k->value == v &&
               !k->text.empty();
    };
    for (Kept* k : places) {
        if (holds(k)) {
            k->used = ++uses_;
            return k->text;
        }
    }
    Kept& kept = *(places[0]->used <= places[1]->used ? places[0] : places[1]);
    kept.field = key.label().data();
    kept.table = parts.data();
    kept.value = v;
    kept.used = ++uses_;
    kept.text.clear();
    make(parts, v, kept.text);
    return kept.text;
}

namespace {

// Keeps what an Output hands over in a string.
class AppendTo final : public io::OutputTarget {
  public:
    explicit AppendTo(std::string& text) : text_(text) {}
    int write(const char* p, std::size_t n) override {
        text_.append(p, n);
        return 0;
    }

  private:
    std::string& text_;
};

}  // namespace

void FlagPartsText::make(asf::FlagParts parts, std::uint64_t v, std::string& text) const {
    if (style_ == Style::json) {
        make_json(parts, v, text);
        return;
    }
    for (std::size_t i = 0; i < parts.size(); ++i) {
        const asf::FlagPart& part = parts[i];
        text += i == 0 ? "" : ", ";
        text += part.name.label();
        text += ": ";
        const std::uint64_t value = part.of(v);
        const std::string_view name = asf::name_of(value, part.values);
        if (part.single_bit()) {
            text += value != 0 ? "yes" : "no";
        } else if (!name.empty()) {
            text += name;
        } else {
            char digits[24];
            const auto end = std::to_chars(std::begin(digits), std::end(digits), value).ptr;
            text.append(digits, end);
        }
    }
}

void FlagPartsText::make_json(asf::FlagParts parts, std::uint64_t v, std::string& text) {
    AppendTo target(text);
    auto out = io::Output::to(target);
    io::JsonWriter json(out);
    json.begin_object();
    for (const asf::FlagPart& part : parts) {
        const std::uint64_t value = part.of(v);
        json.key(part.name.identifier());
        if (part.single_bit())
            json.boolean(value != 0);
        else
            json.number(value);
    }
    json.end_object();
    out.flush();
}

SecondsText decimal_text(double v, int digits) {
    SecondsText t;
    int n = std::snprintf(t.chars.data(), t.chars.size(), "%.*f", digits, v);
    if (n < 0 || static_cast<std::size_t>(n) >= t.chars.size())
        n = std::snprintf(t.chars.data(), t.chars.size(), "%.6g", v);
    std::size_t size = static_cast<std::size_t>(std::max(n, 0));
    const std::string_view text(t.chars.data(), size);
    if (text.find('.') != std::string_view::npos && text.find('e') == std::string_view::npos) {
        // Each pass drops a trailing zero, then the point when none is left.
        while (size > 0 && t.chars[size - 1] == '0')
            --size;
        if (size > 0 && t.chars[size - 1] == '.')
            --size;
    }
    t.size = size;
    return t;
}

std::string_view bitrate_mode_name(answers::BitrateMode mode) {
    return mode == answers::BitrateMode::constant ? "CBR" : "VBR";
}

std::string_view stream_type_name(decode::StreamKind kind) {
    switch (kind) {
        case decode::StreamKind::audio:
            return "audio";
        case decode::StreamKind::video:
            return "video";
        case decode::StreamKind::command:
            return "command";
        case decode::StreamKind::jfif:
            return "jfif";
        case decode::StreamKind::degradable_jpeg:
            return "degradable_jpeg";
        case decode::StreamKind::file_transfer:
            return "file_transfer";
        case decode::StreamKind::binary:
            return "binary";
        case decode::StreamKind::other:
            break;
    }
    return "unknown";
}

}  // namespace asfinspect::view
