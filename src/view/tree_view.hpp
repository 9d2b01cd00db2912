#pragma once

#include <string_view>
#include <vector>

#include "decode/view.hpp"
#include "io/output.hpp"

namespace asfinspect::view {

// The decode as indented text for people: a line per object (offset, name,
// size), a line per field ("Name: value"), records and packets as items
// below their object, problems as "! error at 0x...: ..." lines where they
// are found.
class TreeView final : public decode::View, public decode::FindingSink {
  public:
    explicit TreeView(io::Output& out);

    bool failed() const override { return out_.failed(); }

    void begin_file(std::string_view path, std::int64_t size) override;
    void end_file(const decode::FileSummary& summary) override;
    void begin_object(const decode::ObjectHead& head) override;
    void end_object() override;
    void begin_packets() override;
    void end_packets() override;
    void begin_group(const decode::Key& key) override;
    void end_group() override;
    void begin_list(const decode::Key& key, std::string_view item) override;
    void end_list() override;
    void begin_item(std::uint64_t index, std::int64_t offset) override;
    void end_item() override;
    void unsigned_value(const decode::Key& key, std::uint64_t v, decode::Unit unit) override;
    void signed_value(const decode::Key& key, std::int64_t v, decode::Unit unit) override;
    void bool_value(const decode::Key& key, bool v) override;
    void enum_value(const decode::Key& key, std::uint64_t v, std::string_view meaning) override;
    void flags_value(const decode::Key& key, std::uint64_t v, decode::FlagNames names) override;
    void guid_value(const decode::Key& key, const asf::Guid& v) override;
    void text_value(const decode::Key& key, std::string_view v) override;
    void bytes_value(const decode::Key& key, io::Bytes head, std::uint64_t length) override;
    void date_value(const decode::Key& key, std::uint64_t filetime) override;
    void fourcc_value(const decode::Key& key, std::uint32_t v) override;
    void finding(const decode::Finding& f) override;

  private:
    void indent();
    void label(const decode::Key& key);

    io::Output& out_;
    int depth_ = 0;
    std::vector<std::string_view> item_names_;  // of the open lists, innermost last
};

}  // namespace asfinspect::view
