#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "decode/view.hpp"
#include "io/output.hpp"

namespace asfinspect::view {

// The data packets as CSV, their payloads flattened: a header row, then a
// row for each payload with the fields of its packet beside its own (a
// packet without payloads read takes a row of its own).
class PacketsCsvView final : public decode::View, public decode::FindingSink {
  public:
    explicit PacketsCsvView(io::Output& out) : out_(out) {}

    // One file of several: its rows begin with its path, under the one
    // header row that write_csv_header writes before them all.
    void set_batch() { batch_ = true; }
    static void write_csv_header(io::Output& out, bool path);

    bool failed() const override { return out_.failed(); }
    void begin(const decode::Part& part) override;
    void end(const decode::Part& part) override;
    void value(const decode::Key& key, const decode::Value& v) override;
    void finding(const decode::Finding& /*f*/) override {}

  private:
    // What a part is to this view.
    enum class Role : std::uint8_t { other, packets, packet, payloads, payload };

    void write_row();

    io::Output& out_;
    std::vector<Role> roles_;         // of the parts begun, innermost last
    std::vector<std::string> cells_;  // a column each, empty when not given
    bool packet_has_rows_ = false;
    bool batch_ = false;
    std::string path_;
};

}  // namespace asfinspect::view
