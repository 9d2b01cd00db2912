// The summary as text for people.

#include <algorithm>
#include <limits>

#include "asf/time_units.hpp"
#include "view/format.hpp"
#include "view/summary_columns.hpp"
#include "view/summary_writers.hpp"

namespace asfinspect::view {

namespace {

using answers::FileAnswers;
using answers::IndexAnswers;
using answers::Measured;
using answers::StreamAnswers;
using answers::TagAnswers;
using decode::StreamKind;

// Names and values are shortened to this many characters.
constexpr std::size_t kShownChars = 70;
constexpr std::size_t kMaxTagNameWidth = 28;
// The width of the labels ("protected: ").
constexpr std::size_t kLabelWidth = 11;
constexpr std::string_view kEllipsis = "\xE2\x80\xA6";  // U+2026
// Of the lines under a stream's.
constexpr std::string_view kIndent = "     ";

// What a stream without a codec carries, by its type.
std::string_view content_of(StreamKind kind) {
    switch (kind) {
        case StreamKind::command:
            return "script commands";
        case StreamKind::jfif:
            return "JPEG pictures";
        case StreamKind::degradable_jpeg:
            return "degradable JPEG pictures";
        case StreamKind::file_transfer:
            return "files";
        case StreamKind::binary:
            return "binary media";
        default:
            return "no codec named";
    }
}

void seconds(io::Output& out, std::int64_t ticks) {
    out.text(seconds_for_people(ticks).view());
}

// A duration with minutes and hours past a minute: "243.310 s (4:03)".
void duration(io::Output& out, std::uint64_t ticks) {
    seconds(out, static_cast<std::int64_t>(
                     std::min<std::uint64_t>(ticks, std::numeric_limits<std::int64_t>::max())));
    const std::uint64_t whole = ticks / asf::kTicksPerSecond;
    if (whole < 60)
        return;
    out.text(" (");
    if (whole >= 3600)
        out.number(whole / 3600).text(":");
    const std::uint64_t minutes = whole / 60 % 60;
    if (whole >= 3600 && minutes < 10)
        out.text("0");
    out.number(whole >= 3600 ? minutes : whole / 60).text(":");
    if (whole % 60 < 10)
        out.text("0");
    out.number(whole % 60).text(")");
}

// Bits per second as kb/s, to a tenth: "127.3 kb/s", "128 kb/s".
void bitrate(io::Output& out, std::uint64_t bits) {
    const std::uint64_t tenths = bits / 100 + (bits % 100 >= 50 ? 1 : 0);
    write_grouped(out, tenths / 10);
    if (tenths % 10 != 0) {
        const char digit[2] = {'.', static_cast<char>('0' + tenths % 10)};
        out.text(std::string_view(digit, 2));
    }
    out.text(" kb/s");
}

void count(io::Output& out, std::uint64_t n, std::string_view one, std::string_view many) {
    write_grouped(out, n);
    out.text(" ").text(n == 1 ? one : many);
}

// Text on one line, shortened: control characters become spaces, and text
// past `chars` characters (or cut already) ends in an ellipsis.
void line(io::Output& out, std::string_view text, bool cut, std::size_t chars = kShownChars) {
    std::size_t shown = 0;
    std::size_t i = 0;
    std::size_t run = 0;
    // One byte a pass; a character starts at each byte that is no
    // continuation byte.
    for (; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if ((c & 0xC0) != 0x80 && shown++ == chars)
            break;
        if (c < 0x20 || c == 0x7f) {
            out.text(text.substr(run, i - run)).text(" ");
            run = i + 1;
        }
    }
    out.text(text.substr(run, i - run));
    if (cut || i < text.size())
        out.text(kEllipsis);
}

void line(io::Output& out, const answers::Text& text) {
    line(out, text.text, text.cut);
}

// The characters of UTF-8 text, as far as `most`.
std::size_t chars_of(std::string_view text, std::size_t most) {
    std::size_t n = 0;
    for (std::size_t i = 0; i < text.size() && n < most; ++i)
        n += (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80 ? 1 : 0;
    return n;
}

void pad(io::Output& out, std::size_t n) {
    static constexpr std::string_view kSpaces = "                                ";
    // A run of spaces a pass.
    while (n > 0) {
        const std::size_t step = std::min(n, kSpaces.size());
        out.text(kSpaces.substr(0, step));
        n -= step;
    }
}

void label(io::Output& out, std::string_view name) {
    out.text(name).text(":");
    pad(out, kLabelWidth > name.size() + 1 ? kLabelWidth - name.size() - 1 : 1);
}

// "1 and 2", "1, 2 and 3".
void numbers(io::Output& out, const std::vector<std::uint16_t>& list) {
    for (std::size_t i = 0; i < list.size(); ++i) {
        out.text(i == 0 ? "" : i + 1 == list.size() ? " and " : ", ").number(list[i]);
    }
}

void tag_value(io::Output& out, const TagAnswers& tag) {
    switch (tag.kind) {
        case TagAnswers::Kind::text:
            line(out, tag.text);
            return;
        case TagAnswers::Kind::number:
            out.number(tag.number);
            return;
        case TagAnswers::Kind::boolean:
            out.text(tag.number != 0 ? "true" : "false");
            return;
        case TagAnswers::Kind::guid:
            write_guid(out, tag.guid);
            return;
        case TagAnswers::Kind::bytes:
            out.text("[");
            count(out, tag.number, "byte", "bytes");
            out.text("]");
            return;
        case TagAnswers::Kind::date:
            write_filetime(out, tag.number, ' ');
            out.text(" UTC");
            return;
        case TagAnswers::Kind::unreadable:
            break;
    }
    out.text("(unreadable)");
}

// What a content encryption object names: "  Content Encryption: type DRM,
// key ID ..., licence URL ...".
void encryption_line(io::Output& out, std::string_view object, const decode::EncryptionFacts& e) {
    out.text("  ").text(object).text(":");
    std::string_view separator = " ";
    const auto part = [&](std::string_view name, const decode::KeptText& text) {
        if (text.text.empty())
            return;
        out.text(separator).text(name).text(" ");
        line(out, text.text, text.cut);
        separator = ", ";
    };
    part("protection type", e.protection_type);
    part("key ID", e.key_id);
    part("licence URL", e.license_url);
    if (separator == " ")
        out.text(" names no key ID or licence URL");
    out.end_line();
}

void file_lines(io::Output& out, const FileAnswers& a) {
    label(out, "file");
    line(out, a.path, false, a.path.size());
    out.end_line();
    label(out, "size");
    count(out, static_cast<std::uint64_t>(std::max<std::int64_t>(a.size, 0)), "byte", "bytes");
    out.end_line();

    label(out, "duration");
    if (a.duration) {
        duration(out, *a.duration);
    } else {
        out.text(a.file_properties ? "not kept (a broadcast file)"
                                   : "unknown (no File Properties)");
    }
    if (a.measured) {
        out.text("; measured ");
        duration(out, static_cast<std::uint64_t>(std::max<std::int64_t>(a.measured->duration, 0)));
    }
    out.end_line();

    label(out, "bitrate");
    if (a.maximum_bitrate) {
        bitrate(out, *a.maximum_bitrate);
        out.text(" at most, as declared");
    } else {
        out.text("not declared");
    }
    if (a.bitrate_mode)
        out.text("; ").text(bitrate_mode_name(*a.bitrate_mode)).text(" by its IsVBR tag");
    if (a.measured && a.measured->bitrate) {
        out.text("; measured ");
        bitrate(out, *a.measured->bitrate);
        if (a.measured->busiest) {
            out.text(", ");
            bitrate(out, *a.measured->busiest);
            out.text(" in the busiest second");
        }
    }
    out.end_line();

    label(out, "packets");
    if (a.packet_size != 0) {
        count(out, a.packets, "packet", "packets");
        out.text(" of ");
        count(out, a.packet_size, "byte", "bytes");
        if (a.packets_declared && *a.packets_declared != a.packets) {
            out.text(", ");
            write_grouped(out, *a.packets_declared);
            out.text(" declared");
        }
        if (a.packets_decoded != a.packets) {
            out.text(", ");
            write_grouped(out, a.packets_decoded);
            out.text(" decoded");
        }
    } else {
        out.text("none found");
    }
    out.end_line();

    if (a.file_properties) {
        label(out, "flags");
        if (a.broadcast && a.seekable) {
            out.text("broadcast, seekable");
        } else if (a.broadcast || a.seekable) {
            out.text(a.broadcast ? "broadcast" : "seekable");
        } else {
            out.text("neither broadcast nor seekable");
        }
        out.end_line();
        label(out, "created");
        if (a.created) {
            write_filetime(out, *a.created, ' ');
            out.text(" UTC");
        } else {
            out.text("unknown");
        }
        out.end_line();
    }

    label(out, "protected");
    if (!a.protection.any()) {
        out.text("no");
    } else {
        out.text("yes:");
        bool first = true;
        for (const ProtectionName& p : kProtectionNames) {
            if (a.protection.*p.present) {
                out.text(first ? " " : ", ").text(p.text);
                first = false;
            }
        }
    }
    out.end_line();
    if (a.protection.content_encryption)
        encryption_line(out, "Content Encryption", a.protection.content);
    if (a.protection.extended_content_encryption)
        encryption_line(out, "Extended Content Encryption", a.protection.extended);
    if (a.xmp_objects != 0) {
        label(out, "xmp");
        count(out, a.xmp_bytes, "byte", "bytes");
        if (a.xmp_objects > 1) {
            out.text(" in ");
            write_grouped(out, a.xmp_objects);
            out.text(" objects");
        }
        out.end_line();
    }
}

void stream_head(io::Output& out, const StreamAnswers& s) {
    out.text("  #").number(s.number);
    pad(out, s.number < 10 ? 2 : s.number < 100 ? 1 : 0);
    out.text(" ").text(stream_type_name(s.kind)).text("  ");
    if (!s.codec.empty()) {
        line(out, s.codec, false);
        if (!s.table_codec.empty() && s.table_codec != s.codec)
            out.text(" (").text(s.table_codec).text(")");
    } else if (s.kind == StreamKind::audio) {
        out.text("format tag 0x").hex_number(s.format_tag);
    } else if (s.has_fourcc) {
        out.text("FourCC ").text(s.fourcc);
    } else {
        out.text(content_of(s.kind));
    }
    if (s.kind == StreamKind::audio) {
        out.text(", ");
        write_grouped(out, s.sample_rate);
        out.text(" Hz, ");
        count(out, s.channels, "channel", "channels");
        if (s.bits_per_sample != 0) {
            out.text(", ");
            count(out, s.bits_per_sample, "bit", "bits");
        }
    } else if (s.has_picture_size) {
        out.text(", ").number(s.width).text("x").number(s.height);
    }
    if (s.measured && s.measured->frame_rate) {
        out.text(", ").text(decimal_text(*s.measured->frame_rate, kFrameRateDigits).view());
        out.text(" frames/s");
    } else if (s.frame_rate_declared) {
        out.text(", ").text(decimal_text(*s.frame_rate_declared, kFrameRateDigits).view());
        out.text(" frames/s declared");
    }
    if (s.language && !s.language->text.empty()) {
        out.text(", language ");
        line(out, *s.language);
    }
    if (s.name) {
        out.text(", \"");
        line(out, *s.name);
        out.text("\"");
    }
    if (s.encrypted)
        out.text(", encrypted");
    out.end_line();
    if (!s.codec_description.empty()) {
        out.text(kIndent).text("codec description: ");
        line(out, s.codec_description, false);
        out.end_line();
    }
}

void stream_bitrates(io::Output& out, const StreamAnswers& s) {
    const bool measured = s.measured && s.measured->bitrate;
    if (!s.bitrate_declared && !s.bucket && !s.bitrate_mode && !measured)
        return;
    out.text(kIndent);
    std::string_view separator = "";
    if (s.bitrate_declared) {
        bitrate(out, *s.bitrate_declared);
        out.text(" declared");
        separator = ", ";
    }
    if (s.bucket) {
        out.text(separator);
        bitrate(out, s.bucket->bitrate);
        out.text(" data bitrate");
        separator = ", ";
    }
    if (s.bitrate_mode) {
        out.text(separator).text(bitrate_mode_name(*s.bitrate_mode));
        separator = ", ";
    }
    if (measured) {
        out.text(separator);
        bitrate(out, *s.measured->bitrate);
        out.text(" measured");
        if (s.measured->busiest) {
            out.text(", ");
            bitrate(out, *s.measured->busiest);
            out.text(" in the busiest second");
        }
    }
    out.end_line();
}

void stream_objects(io::Output& out, const StreamAnswers& s) {
    if (!s.measured)
        return;
    const Measured& m = *s.measured;
    out.text(kIndent);
    if (m.media_objects == 0) {
        out.text("no data").end_line();
        return;
    }
    count(out, m.media_objects, "media object", "media objects");
    // Audio streams mark every object a key frame, or none.
    if (s.kind != StreamKind::audio) {
        out.text(", ");
        count(out, m.key_frames, "key frame", "key frames");
        if (m.key_frame_interval_max) {
            out.text(" at most ");
            seconds(out, *m.key_frame_interval_max);
            out.text(" apart");
        }
    }
    out.text(", ");
    seconds(out, m.first);
    out.text(" to ");
    seconds(out, m.last);
    out.text(", ");
    count(out, m.bytes, "byte", "bytes");
    if (m.share) {
        out.text(" (").text(decimal_text(*m.share * 100, 1).view()).text(" %)");
    }
    out.end_line();
}

void tag_lines(io::Output& out, const FileAnswers& a, const decode::StreamSet& shown) {
    std::uint64_t listed = 0;
    std::size_t width = 0;
    for (const TagAnswers& tag : a.tags) {
        if (scope_of(tag, shown) == TagScope::hidden)
            continue;
        ++listed;
        width = std::max(width, chars_of(tag.name.text, kMaxTagNameWidth));
    }
    label(out, "tags");
    if (listed == 0 && a.tags_not_kept == 0) {
        out.text("none").end_line();
    } else {
        write_grouped(out, listed);
        if (a.tags_not_kept != 0) {
            out.text(", and ");
            write_grouped(out, a.tags_not_kept);
            out.text(" more not kept");
        }
        out.end_line();
    }
    for (const TagAnswers& tag : a.tags) {
        const TagScope scope = scope_of(tag, shown);
        if (scope == TagScope::hidden)
            continue;
        out.text("  ");
        line(out, tag.name);
        pad(out, width + 2 - std::min(width, chars_of(tag.name.text, kMaxTagNameWidth)));
        tag_value(out, tag);
        if (scope == TagScope::stream)
            out.text("  (stream ").number(tag.stream).text(")");
        out.end_line();
    }
    if (a.pictures.empty())
        return;
    label(out, "pictures");
    write_grouped(out, a.pictures.size() + a.pictures_not_kept);
    out.end_line();
    for (const answers::PictureAnswers& p : a.pictures) {
        out.text("  ");
        if (p.type_name.empty()) {
            out.text("picture type ").number(p.type);
        } else {
            out.text(p.type_name);
        }
        out.text(", ");
        line(out, p.mime_type);
        out.text(", ");
        count(out, p.size, "byte", "bytes");
        if (!p.description.text.empty()) {
            out.text(", \"");
            line(out, p.description);
            out.text("\"");
        }
        out.end_line();
    }
}

void index_lines(io::Output& out, const FileAnswers& a) {
    label(out, "indexes");
    if (a.indexes.empty()) {
        out.text(a.unindexed_video.empty() ? "none" : "none: players will seek slowly in video");
        out.end_line();
        return;
    }
    write_grouped(out, a.indexes.size() + a.indexes_not_kept);
    out.end_line();
    if (!a.unindexed_video.empty()) {
        out.text("  none for video ").text(a.unindexed_video.size() > 1 ? "streams " : "stream ");
        numbers(out,
                std::vector<std::uint16_t>(a.unindexed_video.begin(), a.unindexed_video.end()));
        out.text(a.unindexed_video.size() > 1 ? ": players will seek slowly in them"
                                              : ": players will seek slowly in it")
            .end_line();
    }
    for (const IndexAnswers& index : a.indexes) {
        out.text("  ").text(index_name(index.type).text).text(": ");
        count(out, index.entries, "entry", "entries");
        if (index.interval) {
            out.text(" ");
            seconds(out, static_cast<std::int64_t>(std::min<std::uint64_t>(
                             *index.interval, std::numeric_limits<std::int64_t>::max())));
            out.text(" apart, covering ");
            duration(out, *index.covers);
        }
        if (!index.streams.empty()) {
            out.text(index.streams.size() > 1 ? ", streams " : ", stream ");
            numbers(out, index.streams);
        }
        out.end_line();
    }
}

// "1 error (packet-length), 2 warnings (header-count, zero-fill)"
void verdict_line(io::Output& out, const answers::Verdict& v) {
    label(out, "verdict");
    const auto by_code = [&](std::uint64_t answers::CodeCount::*severity) {
        std::string_view separator = " (";
        for (const answers::CodeCount& c : v.codes) {
            if (c.*severity == 0)
                continue;
            out.text(separator).text(c.code);
            if (c.*severity > 1) {
                out.text(" x");
                write_grouped(out, c.*severity);
            }
            separator = ", ";
        }
        if (separator != " (")
            out.text(")");
    };
    count(out, v.errors, "error", "errors");
    by_code(&answers::CodeCount::errors);
    out.text(", ");
    count(out, v.warnings, "warning", "warnings");
    by_code(&answers::CodeCount::warnings);
    if (v.errors + v.warnings != 0)
        out.text("; --check lists them");
    out.end_line();
}

}  // namespace

void write_summary_text(io::Output& out, const FileAnswers& a, const decode::StreamSet& shown) {
    file_lines(out, a);
    std::uint64_t streams = 0;
    for (const StreamAnswers& s : a.streams)
        streams += shown.test(s.number) ? 1 : 0;
    label(out, "streams");
    write_grouped(out, streams);
    out.end_line();
    for (const StreamAnswers& s : a.streams) {
        if (!shown.test(s.number))
            continue;
        stream_head(out, s);
        stream_bitrates(out, s);
        stream_objects(out, s);
    }
    tag_lines(out, a, shown);
    index_lines(out, a);
    verdict_line(out, a.verdict);
}

}  // namespace asfinspect::view
