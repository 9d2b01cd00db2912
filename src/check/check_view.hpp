#pragma once

#include <cstdint>
#include <string_view>

#include "decode/view.hpp"
#include "io/output.hpp"

namespace asfinspect::check {

// The verdict on a file: only the decoder's findings, one line each as they
// are met ("0x2c5: error: ..."), then a count of them ("3 errors, 1 warning
// in 37628 packets"); or the same as a JSON document.
class CheckView final : public decode::View {
  public:
    enum class Format { text, json };

    CheckView(io::Output& out, Format format);

    std::uint64_t errors() const { return errors_; }
    std::uint64_t warnings() const { return warnings_; }

    bool wants_fields() const override { return false; }
    void begin_file(std::string_view path, std::int64_t size) override;
    void end_file(const decode::FileSummary& summary) override;
    void finding(const decode::Finding& f) override;

    void begin_object(const decode::ObjectHead&) override {}
    void end_object() override {}
    void begin_packets() override {}
    void end_packets() override {}
    void begin_group(const decode::Key&) override {}
    void end_group() override {}
    void begin_list(const decode::Key&, std::string_view) override {}
    void end_list() override {}
    void begin_item(std::uint64_t, std::int64_t) override {}
    void end_item() override {}
    void unsigned_value(const decode::Key&, std::uint64_t, decode::Unit) override {}
    void signed_value(const decode::Key&, std::int64_t, decode::Unit) override {}
    void bool_value(const decode::Key&, bool) override {}
    void enum_value(const decode::Key&, std::uint64_t, std::string_view) override {}
    void flags_value(const decode::Key&, std::uint64_t, decode::FlagNames) override {}
    void guid_value(const decode::Key&, const asf::Guid&) override {}
    void text_value(const decode::Key&, std::string_view) override {}
    void bytes_value(const decode::Key&, io::Bytes, std::uint64_t) override {}
    void date_value(const decode::Key&, std::uint64_t) override {}
    void fourcc_value(const decode::Key&, std::uint32_t) override {}

  private:
    io::Output& out_;
    Format format_;
    std::uint64_t errors_ = 0;
    std::uint64_t warnings_ = 0;
};

}  // namespace asfinspect::check
