#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "asf/guid.hpp"
#include "asf/guid_registry.hpp"
#include "asf/sentinels.hpp"
#include "decode/facts.hpp"
#include "decode/key.hpp"
#include "decode/view.hpp"
#include "io/cursor.hpp"

namespace asfinspect::decode {

class Context;

// Reads the fields of one object (or of a part of one) in order, from its
// position up to its end, and reports each to the view. A field that the end
// of the object or of the file cuts short is reported as truncated and is not
// decoded; every read after it fails quietly, so a layout can read on without
// testing each field, and a loop over records ends at the first that fails.
class FieldReader {
  public:
    // `extent` names what ends at `end` in truncation messages.
    FieldReader(Context& context, std::int64_t start, std::int64_t end, int depth,
                std::string_view extent = "object");
    // A reader of the next `length` bytes of `outer` (a structure inside a
    // field, with a length of its own), cut at the end of `outer`.
    FieldReader(FieldReader& outer, std::uint64_t length, std::string_view extent);

    Context& context() { return context_; }
    Facts& facts();
    View& view() { return view_; }
    bool shows_fields() const { return shows_fields_; }

    std::int64_t start() const { return cursor_.start(); }
    std::int64_t position() const { return cursor_.position(); }
    std::int64_t end() const { return cursor_.end(); }
    std::int64_t left() const { return cursor_.left(); }
    int depth() const { return depth_; }
    // False once a field was cut short.
    bool ok() const { return ok_; }

    // Unsigned little-endian integers of 1, 2, 4 or 8 bytes.
    std::optional<std::uint64_t> uint(const Key& key, int width, Unit unit = Unit::none);
    std::optional<std::uint8_t> u8(const Key& key, Unit unit = Unit::none);
    std::optional<std::uint16_t> u16(const Key& key, Unit unit = Unit::none);
    std::optional<std::uint32_t> u32(const Key& key, Unit unit = Unit::none);
    std::optional<std::uint64_t> u64(const Key& key, Unit unit = Unit::none);
    // An unsigned integer some of whose values stand for "no value": those
    // in `unset` are shown with what they mean there.
    std::optional<std::uint64_t> uint(const Key& key, int width, Unit unit, Sentinels unset);
    // The same, and values past `beyond.limit` are shown with its name.
    std::optional<std::uint64_t> uint(const Key& key, int width, Unit unit, Sentinels unset,
                                      asf::sentinels::Beyond beyond);
    std::optional<std::int32_t> i32(const Key& key);
    std::optional<std::int64_t> i64(const Key& key);
    // An integer with named values or named bits.
    std::optional<std::uint64_t> enumerated(const Key& key, int width, EnumNames names);
    std::optional<std::uint64_t> flags(const Key& key, int width, FlagNames names);
    // A flags field whose bits hold several values.
    std::optional<std::uint64_t> flag_parts(const Key& key, int width, FlagParts parts);
    std::optional<asf::Guid> guid(const Key& key);
    std::optional<std::uint64_t> date(const Key& key, Sentinels unset = {});
    std::optional<std::uint32_t> fourcc(const Key& key);
    // A DWORD of BCD digits HHMMSSFF.
    std::optional<std::uint32_t> timecode(const Key& key);
    // Text of `bytes` bytes: UTF-16LE, or 8-bit.
    bool utf16(const Key& key, std::uint64_t bytes);
    bool ascii(const Key& key, std::uint64_t bytes);
    // UTF-16LE text reported as utf16() does and given back as UTF-8, for a
    // field whose value decides how later ones are read (a descriptor's
    // name). Valid until the next text field.
    std::optional<std::string_view> utf16_text(const Key& key, std::uint64_t bytes);
    // UTF-16LE text reported as utf16() does, its first bytes kept in `into`
    // (when not null) for what the facts keep of the file; converted only as
    // far as they need when the view shows no fields. False when cut short.
    bool utf16_kept(const Key& key, std::uint64_t bytes, KeptText* into);
    // 8-bit text reported as ascii() does, its first bytes kept in `into`.
    bool ascii_kept(const Key& key, std::uint64_t bytes, KeptText& into);
    // The bytes from the position to the end of NUL-terminated UTF-16LE text,
    // its NUL included; all that is left when no NUL ends it.
    std::uint64_t terminated_utf16_length();
    // An integer of `width` bytes shown as false (0) or true.
    std::optional<bool> boolean(const Key& key, int width);
    // Bytes shown as hex, cut after their first kBlobHeadBytes.
    bool blob(const Key& key, std::uint64_t bytes);
    // Bytes that should hold UTF-8 text (an XMP packet): shown as bytes and,
    // when they are text, as text too, cut as long text fields are.
    bool text_blob(const Key& key, std::uint64_t bytes);

    // Reads without reporting, for fields that are shown in a way of their own.
    std::optional<std::uint64_t> peek_uint(int width);
    bool skip(std::uint64_t bytes);
    // Moves to `to` (within the object), as a layout that knows its own
    // extent does.
    void seek(std::int64_t to);
    // Moves past a part of `length` bytes that `part`, a reader made from
    // this one, has read. When the file ends inside the part (which `part`
    // has reported), the reads of this reader end too.
    void skip_part(const FieldReader& part, std::uint64_t length);

    void begin_group(const Key& key);
    void end_group();
    void begin_list(const Key& key, std::string_view item);
    void end_list();
    void begin_item(std::uint64_t index, std::int64_t offset = -1);
    void end_item();

    // Reports values that were read with peek_uint or computed.
    void show_unsigned(const Key& key, std::uint64_t v, Unit unit = Unit::none);
    void show_bool(const Key& key, bool v);
    void show_enum(const Key& key, std::uint64_t v, EnumNames names);
    void show_guid(const Key& key, const asf::Guid& v);
    void show_text(const Key& key, std::string_view utf8);

    // A finding at `offset` (the reader's position when negative).
    void finding(Severity severity, std::string_view code, std::string_view message,
                 std::int64_t offset = -1);

    // Decodes the objects from the position to the end as children of the
    // current object, placed as `where` says; moves to the end. Returns how
    // many objects there were.
    std::uint32_t children(asf::Placement where);

  private:
    // True when `bytes` more bytes can be read; reports the truncation otherwise.
    bool need(const Key& key, std::uint64_t bytes);
    // Converts the text when the view shows it, else its first `keep` bytes.
    bool text(const Key& key, std::uint64_t bytes, bool utf16, std::uint64_t keep = 0);

    Context& context_;
    View& view_;
    bool shows_fields_;
    io::Cursor cursor_;
    int depth_;
    std::string_view extent_;
    bool ok_ = true;
};

using asf::name_of;

}  // namespace asfinspect::decode
