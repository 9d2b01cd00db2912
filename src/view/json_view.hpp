#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "decode/view.hpp"
#include "io/json_writer.hpp"
#include "io/output.hpp"
#include "view/format.hpp"

namespace asfinspect::view {

// The decode as one JSON document, written as it is decoded:
// {"version", "file": {"path", "size"}, "objects": [OBJECT...], "findings"?},
// where an OBJECT is {"offset", "size", "guid", "name", "fields": {...},
// "children"?: [OBJECT...], "packets"?: [...], "findings"?: [...]}.
// doc/json.md describes every member.
class JsonView final : public decode::View, public decode::FindingSink {
  public:
    explicit JsonView(io::Output& out);

    bool failed() const override { return out_.failed(); }

    void begin(const decode::Part& part) override;
    void end(const decode::Part& part) override;
    void value(const decode::Key& key, const decode::Value& v) override;
    void unsigned_value(const decode::Key& key, std::uint64_t v, decode::Unit unit) override;
    void finding(const decode::Finding& f) override;

    // A container keeps at most this many findings until it closes (the
    // memory of one is bounded); a member then counts the rest.
    static constexpr std::size_t kMaxFindings = 256;

  private:
    enum class Frame : std::uint8_t {
        document,  // in "objects"
        object,    // in "fields", then in "children" or "packets"
        group,
        list,
        item,
    };
    enum class ObjectPart : std::uint8_t { fields, children, packets, done };
    struct HeldFinding {
        std::int64_t offset = 0;
        decode::Severity severity = decode::Severity::warning;
        std::string_view code;  // one of the decoder's constants
        std::string message;
    };
    struct Level {
        Frame frame = Frame::document;
        ObjectPart part = ObjectPart::fields;
        std::vector<HeldFinding> findings;
        std::size_t held = 0;  // findings[0, held) are this container's
        std::uint64_t dropped = 0;
    };

    void member(const decode::Key& key);
    Level& push(Frame frame);
    void pop();
    void close_part(Level& object);
    void open_file(std::string_view path, std::int64_t size);
    void close_file();
    void open_object(const decode::ObjectHead& head);
    void close_object();
    void open_packets();
    void open_item(std::uint64_t index, std::int64_t offset);
    void write_guid_value(const asf::Guid& v);
    void write_bytes(io::Bytes head, std::uint64_t length);
    void write_unset(const decode::Key& key, std::string_view meaning);
    void write_timecode_value(const decode::Key& key, std::uint32_t v);
    void write_findings(const Level& level);

    io::Output& out_;
    io::JsonWriter json_;
    std::vector<Level> levels_;
    std::size_t depth_ = 0;  // levels in use; levels_ keeps the others for reuse
    FlagPartsText flag_parts_;
};

}  // namespace asfinspect::view
