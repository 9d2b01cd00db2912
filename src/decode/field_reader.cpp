#include "decode/field_reader.hpp"

#include <algorithm>
#include <array>

#include "decode/context.hpp"
#include "decode/findings.hpp"
#include "decode/text.hpp"
#include "io/le.hpp"

namespace asfinspect::decode {

namespace {

// Text fields longer than this are shown cut; every length ASF stores in 16
// bits fits.
constexpr std::uint64_t kMaxTextBytes = 1 << 16;
// The UTF-16 bytes that give at least the kKeptTextBytes of UTF-8 the facts
// keep of a text: a code unit is at least one byte of UTF-8.
constexpr std::uint64_t kKeptUtf16Bytes = 2 * (kKeptTextBytes + 1);

}  // namespace

FieldReader::FieldReader(Context& context, std::int64_t start, std::int64_t end, int depth,
                         std::string_view extent)
    : context_(context),
      view_(context.view()),
      shows_fields_(context.view().wants_fields()),
      cursor_(context.file(), start, end),
      depth_(depth),
      extent_(extent) {}

FieldReader::FieldReader(FieldReader& outer, std::uint64_t length, std::string_view extent)
    : FieldReader(outer.context_, outer.position(),
                  outer.position() +
                      static_cast<std::int64_t>(std::min<std::uint64_t>(length, outer.left())),
                  outer.depth_, extent) {
    ok_ = outer.ok_;
}

Facts& FieldReader::facts() {
    return context_.facts();
}

bool FieldReader::need(const Key& key, std::uint64_t bytes) {
    if (!ok_)
        return false;
    if (context_.stopped()) {
        ok_ = false;  // a read error is reported once, when the decode ends
        return false;
    }
    if (cursor_.holds(bytes))
        return true;
    ok_ = false;
    const auto available = static_cast<std::uint64_t>(cursor_.left());
    const auto file_left = static_cast<std::uint64_t>(
        std::max<std::int64_t>(context_.file().size() - cursor_.position(), 0));
    const bool object_ends_first = available <= file_left;
    context_.report(cursor_.position(), Severity::error, codes::kTruncatedField,
                    message("truncated: ", key.label(), " needs ", bytes, " bytes at ",
                            Hex{static_cast<std::uint64_t>(cursor_.position())}, ", but the ",
                            object_ends_first ? extent_ : "file", " ends after ",
                            object_ends_first ? available : file_left));
    return false;
}

std::optional<std::uint64_t> FieldReader::peek_uint(int width) {
    if (!need("value", static_cast<std::uint64_t>(width)))
        return std::nullopt;
    return cursor_.take(width);
}

std::optional<std::uint64_t> FieldReader::uint(const Key& key, int width, Unit unit) {
    if (!need(key, static_cast<std::uint64_t>(width)))
        return std::nullopt;
    const std::uint64_t v = cursor_.take(width);
    if (shows_fields_)
        view_.unsigned_value(key, v, unit);
    return v;
}

std::optional<std::uint64_t> FieldReader::uint(const Key& key, int width, Unit unit,
                                               Sentinels unset) {
    return uint(key, width, unit, unset, {~std::uint64_t{0}, {}});
}

std::optional<std::uint64_t> FieldReader::uint(const Key& key, int width, Unit unit,
                                               Sentinels unset, asf::sentinels::Beyond beyond) {
    if (!need(key, static_cast<std::uint64_t>(width)))
        return std::nullopt;
    const std::uint64_t v = cursor_.take(width);
    if (shows_fields_) {
        std::string_view meaning = name_of(v, unset);
        if (meaning.empty() && v > beyond.limit)
            meaning = beyond.name;
        if (!meaning.empty()) {
            view_.unset_value(key, v, unit, meaning);
        } else {
            view_.unsigned_value(key, v, unit);
        }
    }
    return v;
}

std::optional<std::uint8_t> FieldReader::u8(const Key& key, Unit unit) {
    const auto v = uint(key, 1, unit);
    return v ? std::optional<std::uint8_t>(static_cast<std::uint8_t>(*v)) : std::nullopt;
}

std::optional<std::uint16_t> FieldReader::u16(const Key& key, Unit unit) {
    const auto v = uint(key, 2, unit);
    return v ? std::optional<std::uint16_t>(static_cast<std::uint16_t>(*v)) : std::nullopt;
}

std::optional<std::uint32_t> FieldReader::u32(const Key& key, Unit unit) {
    const auto v = uint(key, 4, unit);
    return v ? std::optional<std::uint32_t>(static_cast<std::uint32_t>(*v)) : std::nullopt;
}

std::optional<std::uint64_t> FieldReader::u64(const Key& key, Unit unit) {
    return uint(key, 8, unit);
}

std::optional<std::int32_t> FieldReader::i32(const Key& key) {
    if (!need(key, 4))
        return std::nullopt;
    const auto v = static_cast<std::int32_t>(static_cast<std::uint32_t>(cursor_.take(4)));
    if (shows_fields_)
        view_.signed_value(key, v, Unit::none);
    return v;
}

std::optional<std::int64_t> FieldReader::i64(const Key& key) {
    if (!need(key, 8))
        return std::nullopt;
    const auto v = static_cast<std::int64_t>(cursor_.take(8));
    if (shows_fields_)
        view_.signed_value(key, v, Unit::none);
    return v;
}

std::optional<std::uint64_t> FieldReader::enumerated(const Key& key, int width, EnumNames names) {
    if (!need(key, static_cast<std::uint64_t>(width)))
        return std::nullopt;
    const std::uint64_t v = cursor_.take(width);
    show_enum(key, v, names);
    return v;
}

std::optional<std::uint64_t> FieldReader::flags(const Key& key, int width, FlagNames names) {
    if (!need(key, static_cast<std::uint64_t>(width)))
        return std::nullopt;
    const std::uint64_t v = cursor_.take(width);
    if (shows_fields_)
        view_.flags_value(key, v, names);
    return v;
}

std::optional<std::uint64_t> FieldReader::flag_parts(const Key& key, int width, FlagParts parts) {
    if (!need(key, static_cast<std::uint64_t>(width)))
        return std::nullopt;
    const std::uint64_t v = cursor_.take(width);
    if (shows_fields_)
        view_.flag_parts_value(key, v, parts);
    return v;
}

std::optional<asf::Guid> FieldReader::guid(const Key& key) {
    if (!need(key, 16))
        return std::nullopt;
    asf::Guid g;
    context_.file().read_at(cursor_.position(), g.bytes);
    cursor_.seek(cursor_.position() + 16);
    if (shows_fields_)
        view_.guid_value(key, g);
    return g;
}

std::optional<std::uint64_t> FieldReader::date(const Key& key, Sentinels unset) {
    if (!need(key, 8))
        return std::nullopt;
    const std::uint64_t v = cursor_.take(8);
    if (shows_fields_)
        view_.date_value(key, v, name_of(v, unset));
    return v;
}

std::optional<std::uint32_t> FieldReader::fourcc(const Key& key) {
    if (!need(key, 4))
        return std::nullopt;
    const auto v = static_cast<std::uint32_t>(cursor_.take(4));
    if (shows_fields_)
        view_.fourcc_value(key, v);
    return v;
}

std::optional<std::uint32_t> FieldReader::timecode(const Key& key) {
    if (!need(key, 4))
        return std::nullopt;
    const auto v = static_cast<std::uint32_t>(cursor_.take(4));
    if (shows_fields_)
        view_.timecode_value(key, v);
    return v;
}

bool FieldReader::text(const Key& key, std::uint64_t bytes, bool utf16, std::uint64_t keep) {
    if (!need(key, bytes))
        return false;
    std::string& utf8 = context_.text_buffer();
    utf8.clear();
    if (shows_fields_ || keep != 0) {
        const std::uint64_t shown = std::min(bytes, shows_fields_ ? kMaxTextBytes : keep);
        auto& raw = context_.byte_buffer();
        raw.resize(static_cast<std::size_t>(shown));
        context_.file().read_at(cursor_.position(), raw);
        if (utf16) {
            append_utf8_from_utf16le(raw, utf8);
        } else {
            append_utf8_from_latin1(raw, utf8);
        }
        if (shows_fields_) {
            view_.text_value(key, utf8);
            if (shown < bytes) {
                context_.report(cursor_.position(), Severity::warning, codes::kLongText,
                                message(key.label(), " holds ", bytes, " bytes; the first ", shown,
                                        " are shown"));
            }
        }
    }
    cursor_.seek(cursor_.position() + static_cast<std::int64_t>(bytes));
    return true;
}

bool FieldReader::utf16(const Key& key, std::uint64_t bytes) {
    return text(key, bytes, true);
}

bool FieldReader::ascii(const Key& key, std::uint64_t bytes) {
    return text(key, bytes, false);
}

bool FieldReader::ascii_kept(const Key& key, std::uint64_t bytes, KeptText& into) {
    if (!text(key, bytes, false, kKeptTextBytes + 1))
        return false;
    into.keep(context_.text_buffer());
    return true;
}

std::optional<std::string_view> FieldReader::utf16_text(const Key& key, std::uint64_t bytes) {
    if (!text(key, bytes, true, kMaxTextBytes))
        return std::nullopt;
    return std::string_view(context_.text_buffer());
}

bool FieldReader::utf16_kept(const Key& key, std::uint64_t bytes, KeptText* into) {
    if (!text(key, bytes, true, into != nullptr ? kKeptUtf16Bytes : 0))
        return false;
    if (into != nullptr)
        into->keep(context_.text_buffer());
    return true;
}

std::uint64_t FieldReader::terminated_utf16_length() {
    constexpr std::size_t kUnit = 2;
    std::array<std::uint8_t, kBlobHeadBytes> chunk{};
    const std::int64_t end = cursor_.position() + cursor_.left_in_file();
    // Each pass looks at the code units of one chunk, until a NUL or the end.
    for (std::int64_t at = cursor_.position(); end - at >= static_cast<std::int64_t>(kUnit);) {
        const auto n = static_cast<std::size_t>(
            std::min<std::int64_t>(end - at, static_cast<std::int64_t>(chunk.size())) &
            ~std::int64_t{kUnit - 1});
        context_.file().read_at(at, std::span(chunk).first(n));
        for (std::size_t i = 0; i < n; i += kUnit) {
            if (chunk[i] == 0 && chunk[i + 1] == 0)
                return static_cast<std::uint64_t>(at - cursor_.position()) + i + kUnit;
        }
        at += static_cast<std::int64_t>(n);
    }
    return static_cast<std::uint64_t>(left());
}

std::optional<bool> FieldReader::boolean(const Key& key, int width) {
    if (!need(key, static_cast<std::uint64_t>(width)))
        return std::nullopt;
    const bool v = cursor_.take(width) != 0;
    if (shows_fields_)
        view_.bool_value(key, v);
    return v;
}

bool FieldReader::blob(const Key& key, std::uint64_t bytes) {
    if (!need(key, bytes))
        return false;
    if (shows_fields_) {
        std::array<std::uint8_t, kBlobHeadBytes> head{};
        const auto shown = static_cast<std::size_t>(std::min<std::uint64_t>(bytes, head.size()));
        context_.file().read_at(cursor_.position(), std::span(head).first(shown));
        view_.bytes_value(key, io::Bytes(head).first(shown), bytes);
    }
    cursor_.seek(cursor_.position() + static_cast<std::int64_t>(bytes));
    return true;
}

bool FieldReader::text_blob(const Key& key, std::uint64_t bytes) {
    if (!need(key, bytes))
        return false;
    if (shows_fields_) {
        const std::uint64_t shown = std::min(bytes, kMaxTextBytes);
        auto& raw = context_.byte_buffer();
        raw.resize(static_cast<std::size_t>(shown));
        context_.file().read_at(cursor_.position(), raw);
        const io::Bytes head =
            io::Bytes(raw).first(std::min<std::size_t>(raw.size(), kBlobHeadBytes));
        const std::optional<std::string_view> text = utf8_text(raw, shown < bytes);
        if (text) {
            view_.text_blob_value(key, TextBlob{head, bytes, *text});
        } else {
            view_.bytes_value(key, head, bytes);
        }
        if (text && shown < bytes) {
            context_.report(
                cursor_.position(), Severity::warning, codes::kLongText,
                message(key.label(), " holds ", bytes, " bytes; the first ", shown, " are shown"));
        }
    }
    cursor_.seek(cursor_.position() + static_cast<std::int64_t>(bytes));
    return true;
}

bool FieldReader::skip(std::uint64_t bytes) {
    return need("skipped bytes", bytes) && cursor_.skip(bytes);
}

void FieldReader::seek(std::int64_t to) {
    cursor_.seek(to);
}

void FieldReader::skip_part(const FieldReader& part, std::uint64_t length) {
    const auto room = static_cast<std::uint64_t>(end() - part.start());
    seek(part.start() + static_cast<std::int64_t>(std::min(length, room)));
    if (!part.ok_ && position() > context_.file().size())
        ok_ = false;
}

void FieldReader::begin_group(const Key& key) {
    if (shows_fields_)
        view_.begin_group(key);
}

void FieldReader::end_group() {
    if (shows_fields_)
        view_.end_group();
}

void FieldReader::begin_list(const Key& key, std::string_view item) {
    if (shows_fields_)
        view_.begin_list(key, item);
}

void FieldReader::end_list() {
    if (shows_fields_)
        view_.end_list();
}

void FieldReader::begin_item(std::uint64_t index, std::int64_t offset) {
    if (shows_fields_)
        view_.begin_item(index, offset);
}

void FieldReader::end_item() {
    if (shows_fields_)
        view_.end_item();
}

void FieldReader::show_unsigned(const Key& key, std::uint64_t v, Unit unit) {
    if (shows_fields_)
        view_.unsigned_value(key, v, unit);
}

void FieldReader::show_bool(const Key& key, bool v) {
    if (shows_fields_)
        view_.bool_value(key, v);
}

void FieldReader::show_enum(const Key& key, std::uint64_t v, EnumNames names) {
    if (shows_fields_)
        view_.enum_value(key, v, name_of(v, names));
}

void FieldReader::show_guid(const Key& key, const asf::Guid& v) {
    if (shows_fields_)
        view_.guid_value(key, v);
}

void FieldReader::show_text(const Key& key, std::string_view utf8) {
    if (shows_fields_)
        view_.text_value(key, utf8);
}

void FieldReader::finding(Severity severity, std::string_view code, std::string_view text,
                          std::int64_t offset) {
    context_.report(offset < 0 ? position() : offset, severity, code, text);
}

std::uint32_t FieldReader::children(asf::Placement where) {
    std::uint32_t count = 0;
    if (ok_ && position() < end())
        count = context_.walk(position(), end(), where, depth_ + 1);
    seek(end());
    return count;
}

}  // namespace asfinspect::decode
