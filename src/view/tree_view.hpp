#pragma once

#include <string_view>
#include <vector>

#include "decode/view.hpp"
#include "io/output.hpp"
#include "view/format.hpp"

namespace asfinspect::view {

// The decode as indented text for people: a line per object (offset, name,
// size), a line per field ("Name: value"), records and packets as items
// below their object, problems as "! error at 0x...: ..." lines where they
// are found.
class TreeView final : public decode::View, public decode::FindingSink {
  public:
    explicit TreeView(io::Output& out);

    bool failed() const override { return out_.failed(); }

    void begin(const decode::Part& part) override;
    void end(const decode::Part& part) override;
    void value(const decode::Key& key, const decode::Value& v) override;
    void unsigned_value(const decode::Key& key, std::uint64_t v, decode::Unit unit) override;
    void finding(const decode::Finding& f) override;

  private:
    void indent();
    void begin_object_line(const decode::ObjectHead& head);
    void write_unsigned(std::uint64_t v, decode::Unit unit);
    void write_flags(std::uint64_t v, decode::FlagNames names);
    void write_bytes(io::Bytes head, std::uint64_t length);
    void write_fourcc(std::uint32_t v);
    void write_unset(std::uint64_t v, std::string_view meaning);
    void write_text_blob(const decode::TextBlob& blob);
    void label(const decode::Key& key);

    io::Output& out_;
    int depth_ = 0;
    std::vector<std::string_view> item_names_;  // of the open lists, innermost last
    FlagPartsText flag_parts_;
};

}  // namespace asfinspect::view
