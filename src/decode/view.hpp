#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "asf/guid.hpp"
#include "asf/guid_registry.hpp"
#include "asf/names.hpp"
#include "decode/finding.hpp"
#include "decode/key.hpp"
#include "decode/selection.hpp"
#include "io/le.hpp"

namespace asfinspect::decode {

// How a view shows an integer: as it is, as a time, or as a file offset.
enum class Unit : std::uint8_t {
    none,
    milliseconds,
    hundred_nanoseconds,  // ASF's 100 ns ticks
    file_offset,
};

struct ObjectHead {
    std::int64_t offset = 0;
    std::int64_t size = 0;  // as the object says, its 24-byte header included
    asf::Guid guid;
    const asf::GuidInfo* known = nullptr;  // nullptr: a GUID the decoder doesn't know
};

using asf::EnumName;
using asf::EnumNames;
using asf::FlagName;
using asf::FlagNames;
using asf::FlagPart;
using asf::FlagParts;
using asf::Sentinels;

// Bytes that hold text (the XML of an XMP packet): their first bytes, as a
// blob shows them, and as much of the text as is shown.
struct TextBlob {
    io::Bytes head;         // the first bytes, at most kBlobHeadBytes
    std::uint64_t length;   // of the whole blob
    std::string_view text;  // valid UTF-8: the blob's first bytes, up to a cut
};

struct Facts;

struct FileSummary {
    std::uint64_t packets = 0;  // data packets decoded
    // What the decoder learnt of the file: for views that answer questions
    // about it as a whole (a summary) rather than show its fields.
    const Facts* facts = nullptr;
};

// A part of the decode that holds fields and other parts.
struct Part {
    enum class Kind : std::uint8_t {
        file,     // `path`, `size`; at its end, `summary`
        object,   // `head`
        packets,  // the data packets of the Data Object, each an item: `facts`, `selection`
        group,    // a structure inside a field list (a WAVEFORMATEX, say): `key`
        list,     // counted records, each an item: `key`, and `item` naming one ("Codec Entry")
        item,     // `index`, and `offset` (< 0: no position worth showing)
    };

    explicit Part(Kind k) : kind(k) {}

    Kind kind;
    std::string_view path;
    std::int64_t size = 0;
    const FileSummary* summary = nullptr;
    const Facts* facts = nullptr;          // what the header said
    const Selection* selection = nullptr;  // which packets and payloads are shown
    const ObjectHead* head = nullptr;
    const Key* key = nullptr;
    std::string_view item;
    std::uint64_t index = 0;
    std::int64_t offset = -1;
};

// A field's value, of one of the kinds a view writes in a way of its own;
// small, as one is made for every field.
class Value {
  public:
    enum class Kind : std::uint8_t {
        unsigned_integer,
        signed_integer,
        boolean,
        enumerated,  // number(), with text() its meaning ("" when it has none)
        flags,       // number(), with flag_names()
        flag_parts,  // number(), a flags field of several values: flag_parts()
        guid,
        text,       // text(), valid UTF-8
        bytes,      // the first bytes of a blob (head()) of number() bytes
        date,       // number(): 100 ns ticks since 1601-01-01 00:00 UTC
        fourcc,     // number(): four characters as a little-endian 32-bit value
        timecode,   // number(): BCD digits HHMMSSFF, hours in the highest byte
        text_blob,  // text_blob(): bytes that hold text
    };

    constexpr Value(Kind kind, std::uint64_t number, Unit unit = Unit::none)
        : kind_(kind), unit_(unit), number_(number) {}
    constexpr Value(Kind kind, std::uint64_t number, const void* data, std::size_t size)
        : kind_(kind), number_(number), data_(data), size_(size) {}
    // An unsigned integer or a date whose value is one that ASF or encoders
    // write for "no value", and what it means there.
    static constexpr Value unset(Kind kind, std::uint64_t number, Unit unit,
                                 std::string_view meaning) {
        Value v(kind, number, meaning.data(), meaning.size());
        v.unit_ = unit;
        return v;
    }

    Kind kind() const { return kind_; }
    Unit unit() const { return unit_; }
    std::uint64_t number() const { return number_; }
    std::int64_t signed_number() const { return static_cast<std::int64_t>(number_); }
    std::string_view text() const { return {static_cast<const char*>(data_), size_}; }
    FlagNames flag_names() const { return {static_cast<const FlagName*>(data_), size_}; }
    FlagParts flag_parts() const { return {static_cast<const FlagPart*>(data_), size_}; }
    const TextBlob& text_blob() const { return *static_cast<const TextBlob*>(data_); }
    // For an unsigned integer or a date: what its value means when it is one
    // that stands for "no value" ("not set", "no entry"), or "".
    std::string_view unset() const {
        return kind_ == Kind::unsigned_integer || kind_ == Kind::date ? text() : std::string_view{};
    }
    const asf::Guid& guid() const { return *static_cast<const asf::Guid*>(data_); }
    io::Bytes head() const { return {static_cast<const std::uint8_t*>(data_), size_}; }

  private:
    Kind kind_;
    Unit unit_ = Unit::none;
    std::uint64_t number_ = 0;
    const void* data_ = nullptr;
    std::size_t size_ = 0;
};

// A media object (a frame, say) as its fragments in the packets build it.
struct MediaObject {
    std::uint8_t stream = 0;
    std::uint32_t number = 0;
    std::uint32_t presentation_time = 0;  // ms, the preroll included, as ASF stores it
    // Bytes of it the file holds: its declared size when it is whole, fewer
    // when fragments are missing or the file ends inside one.
    std::uint32_t size = 0;
    std::uint32_t size_declared = 0;  // its Media Object Size
    // ms, as the Sample Duration payload extension of its first fragment
    // states it; 0 when none does.
    std::uint16_t duration = 0;
    bool key_frame = false;
    std::uint32_t fragments = 0;
    std::uint64_t first_packet = 0;
    std::uint64_t last_packet = 0;
    std::uint32_t send_time = 0;  // ms, of the packet of its first fragment
    std::int64_t offset = 0;      // of its first byte in the file
    bool whole = true;            // every byte of it arrived
};

struct Packet;
struct Payload;

// A data packet as it is sent.
struct SentPacket {
    std::uint64_t index = 0;
    std::int64_t offset = 0;
    std::uint64_t send_time = 0;  // ms
    std::uint64_t padding = 0;    // bytes after its payloads, up to its end
};

// A payload as it is sent, and its stream's leaky bucket once its bytes are
// in. Bucket figures are in millibits (a thousandth of a bit), which keeps
// them exact; both are 0 for a stream that declares no bucket.
struct SentPayload {
    std::uint8_t stream = 0;
    std::int64_t offset = 0;
    std::uint64_t send_time = 0;  // ms, of its packet
    std::uint64_t bytes = 0;      // its data, sub-payloads' length bytes included
    // Of its media object (of the first sub-payload of a compressed
    // payload), ms as ASF stores it; `timed` false when it has none.
    bool timed = false;
    std::uint64_t presentation_time = 0;
    std::uint64_t bucket_fullness = 0;
    std::uint64_t bucket_limit = 0;
};

// What the decoder reports, in file order, as it walks a file: objects with
// their fields, nested groups and counted records, the data packets with their
// payloads, and the media objects as each is complete. Fields of an object
// come before its children and packets. A view only writes; it knows nothing
// of the format. Every event does nothing by default, so a view overrides
// only what it shows. Findings take a channel of their own (FindingSink).
class View {
  public:
    virtual ~View() = default;

    // False when the view shows findings only: the decoder then spares the
    // work of making field values (text conversion and the like).
    virtual bool wants_fields() const { return true; }
    // True once the view can't write (a full disk, a closed pipe): the
    // decoder then stops, as it does at a read error.
    virtual bool failed() const { return false; }

    // A part begins, and ends after its fields and the parts inside it.
    virtual void begin(const Part& /*part*/) {}
    virtual void end(const Part& /*part*/) {}

    // The parts, as the decoder begins and ends them.
    void begin_file(std::string_view path, std::int64_t size) {
        Part part(Part::Kind::file);
        part.path = path;
        part.size = size;
        begin(part);
    }
    void end_file(const FileSummary& summary) {
        Part part(Part::Kind::file);
        part.summary = &summary;
        end(part);
    }
    void begin_object(const ObjectHead& head) {
        Part part(Part::Kind::object);
        part.head = &head;
        begin(part);
    }
    void end_object() { end(Part(Part::Kind::object)); }
    void begin_packets(const Facts& facts, const Selection& selection) {
        Part part(Part::Kind::packets);
        part.facts = &facts;
        part.selection = &selection;
        begin(part);
    }
    void end_packets() { end(Part(Part::Kind::packets)); }
    void begin_group(const Key& key) {
        Part part(Part::Kind::group);
        part.key = &key;
        begin(part);
    }
    void end_group() { end(Part(Part::Kind::group)); }
    void begin_list(const Key& key, std::string_view item) {
        Part part(Part::Kind::list);
        part.key = &key;
        part.item = item;
        begin(part);
    }
    void end_list() { end(Part(Part::Kind::list)); }
    void begin_item(std::uint64_t index, std::int64_t offset) {
        Part part(Part::Kind::item);
        part.index = index;
        part.offset = offset;
        begin(part);
    }
    void end_item() { end(Part(Part::Kind::item)); }

    // A field and its value.
    virtual void value(const Key& /*key*/, const Value& /*v*/) {}

    // The fields of each kind, as the decoder reports them.
    // Integers are most of the fields of a file (every packet and payload
    // holds a dozen), so a view may write them without the detour.
    virtual void unsigned_value(const Key& key, std::uint64_t v, Unit unit) {
        value(key, Value(Value::Kind::unsigned_integer, v, unit));
    }
    void signed_value(const Key& key, std::int64_t v, Unit unit) {
        value(key, Value(Value::Kind::signed_integer, static_cast<std::uint64_t>(v), unit));
    }
    void bool_value(const Key& key, bool v) {
        value(key, Value(Value::Kind::boolean, v ? 1u : 0u));
    }
    void enum_value(const Key& key, std::uint64_t v, std::string_view meaning) {
        value(key, Value(Value::Kind::enumerated, v, meaning.data(), meaning.size()));
    }
    void flags_value(const Key& key, std::uint64_t v, FlagNames names) {
        value(key, Value(Value::Kind::flags, v, names.data(), names.size()));
    }
    void flag_parts_value(const Key& key, std::uint64_t v, FlagParts parts) {
        value(key, Value(Value::Kind::flag_parts, v, parts.data(), parts.size()));
    }
    // An unsigned integer whose value stands for "no value": `meaning` says
    // what it means there.
    void unset_value(const Key& key, std::uint64_t v, Unit unit, std::string_view meaning) {
        value(key, Value::unset(Value::Kind::unsigned_integer, v, unit, meaning));
    }
    void guid_value(const Key& key, const asf::Guid& v) {
        value(key, Value(Value::Kind::guid, 0, &v, sizeof v));
    }
    void text_value(const Key& key, std::string_view v) {
        value(key, Value(Value::Kind::text, 0, v.data(), v.size()));
    }
    void bytes_value(const Key& key, io::Bytes head, std::uint64_t length) {
        value(key, Value(Value::Kind::bytes, length, head.data(), head.size()));
    }
    void date_value(const Key& key, std::uint64_t filetime, std::string_view unset = {}) {
        value(key, Value::unset(Value::Kind::date, filetime, Unit::none, unset));
    }
    void fourcc_value(const Key& key, std::uint32_t v) {
        value(key, Value(Value::Kind::fourcc, v));
    }
    void timecode_value(const Key& key, std::uint32_t v) {
        value(key, Value(Value::Kind::timecode, v));
    }
    void text_blob_value(const Key& key, const TextBlob& blob) {
        value(key, Value(Value::Kind::text_blob, blob.length, &blob, sizeof blob));
    }

    // Each data packet decoded, as it was read (its header and payloads as
    // far as they parse), before its fields are reported.
    virtual void packet(const Packet& /*packet*/) {}

    // After the packet that completes it (or, for one cut off, where that is
    // found), in the order the media objects end.
    virtual void media_object(const MediaObject& /*object*/) {}
    // A fragment that belongs to no media object that could be built: its
    // object's earlier fragments are missing.
    virtual void stray_fragment(const Packet& /*packet*/, const Payload& /*payload*/) {}

    // Each packet and payload as it is sent, when every packet is decoded in
    // order: for views of delivery over time.
    virtual void packet_sent(const SentPacket& /*packet*/) {}
    virtual void payload_sent(const SentPayload& /*payload*/) {}
};

// A view that shows nothing: for a run that wants findings only.
class SilentView final : public View {
  public:
    bool wants_fields() const override { return false; }
};

// Blobs are shown up to this many bytes.
inline constexpr std::size_t kBlobHeadBytes = 64;

}  // namespace asfinspect::decode
