#pragma once

#include <cstdint>
#include <string_view>

namespace asfinspect::decode {

enum class Severity : std::uint8_t { warning, error };

// A departure from the format, or something it allows but that is suspect,
// at the file offset of the object, packet, payload or field at fault. `code`
// names the kind of finding and stays the same from release to release.
struct Finding {
    std::int64_t offset = 0;
    Severity severity = Severity::warning;
    std::string_view code;
    std::string_view message;
};

// Where the decoder sends its findings, in the order it meets them: a view
// that shows them in place, the check, or nothing.
class FindingSink {
  public:
    virtual ~FindingSink() = default;
    virtual void finding(const Finding& f) = 0;
    // True once the sink can't write: the decoder then stops.
    virtual bool failed() const { return false; }
    // False for a sink that keeps nothing: checks that only find (those of
    // the index entries, which read the packets they point at) are spared.
    virtual bool wants_findings() const { return true; }
};

// A sink that keeps nothing.
class DiscardFindings final : public FindingSink {
  public:
    void finding(const Finding& /*f*/) override {}
    bool wants_findings() const override { return false; }
};

}  // namespace asfinspect::decode
