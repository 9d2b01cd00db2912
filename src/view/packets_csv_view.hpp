#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "decode/packets/packet.hpp"
#include "decode/view.hpp"
#include "io/output.hpp"

namespace asfinspect::view {

// The data packets as CSV, their payloads flattened: a header row, then a
// row for each payload with the fields of its packet beside its own (a
// packet without payloads read takes a row of its own). Rows are written
// from each packet as the decoder read it.
class PacketsCsvView final : public decode::View, public decode::FindingSink {
  public:
    explicit PacketsCsvView(io::Output& out) : out_(out) {}

    // One file of several: its rows begin with its path, under the one
    // header row that write_csv_header writes before them all.
    void set_batch() { batch_ = true; }
    static void write_csv_header(io::Output& out, bool path);

    // The packets carry every column: no field, no finding is needed.
    bool wants_fields() const override { return false; }
    bool wants_findings() const override { return false; }
    bool failed() const override { return out_.failed(); }
    void begin(const decode::Part& part) override;
    void packet(const decode::Packet& packet) override;
    void finding(const decode::Finding& /*f*/) override {}

  private:
    void set_packet_cells(const decode::Packet& packet);
    void set_payload_cells(const decode::Payload& payload);
    void write_row();

    io::Output& out_;
    std::vector<std::string> cells_;  // a column each, empty when not given
    decode::StreamSet streams_;       // the payloads of these streams are shown
    bool batch_ = false;
    std::string path_;
};

}  // namespace asfinspect::view
