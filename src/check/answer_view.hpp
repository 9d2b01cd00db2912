#pragma once

#include <cstdint>

#include "decode/finding.hpp"
#include "decode/view.hpp"
#include "io/output.hpp"

namespace asfinspect::check {

// A view that answers questions about a file rather than show its fields
// (a verdict, a summary): it takes the findings, counted by severity, and the
// events it wants, and writes to `out`.
class AnswerView : public decode::View, public decode::FindingSink {
  public:
    std::uint64_t errors() const { return errors_; }
    std::uint64_t warnings() const { return warnings_; }

    bool failed() const override { return out_.failed(); }
    bool wants_fields() const override { return false; }
    void finding(const decode::Finding& f) final {
        (f.severity == decode::Severity::error ? errors_ : warnings_) += 1;
        found(f);
    }

  protected:
    explicit AnswerView(io::Output& out) : out_(out) {}
    ~AnswerView() = default;

    // Each finding, after it was counted.
    virtual void found(const decode::Finding& f) = 0;

    io::Output& out_;

  private:
    std::uint64_t errors_ = 0;
    std::uint64_t warnings_ = 0;
};

}  // namespace asfinspect::check
