#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "asf/guid_registry.hpp"
#include "asf/object_format.hpp"
#include "decode/facts.hpp"
#include "decode/finding.hpp"
#include "decode/selection.hpp"
#include "decode/view.hpp"
#include "io/file_reader.hpp"

namespace asfinspect::decode {

using DecodeOptions = Selection;

using asf::object_format::kObjectHeaderSize;
// Objects nested deeper than this are listed, their contents skipped.
inline constexpr int kMaxObjectDepth = 8;

class KeyFrameProbe;

// What the parts of the decode share: the file, the view and the findings,
// the options, and the facts learnt so far. The object layouts and the
// packets take it; the walk over the objects (Decoder) is one, and hands it
// the children of an object and the probe of packets for key frames.
class Context {
  public:
    Context(io::FileReader& file, View& view, FindingSink& findings, const DecodeOptions& options)
        : file_(file), view_(view), findings_(findings), options_(options) {}
    Context(const Context&) = delete;
    Context& operator=(const Context&) = delete;

    io::FileReader& file() { return file_; }
    View& view() { return view_; }
    Facts& facts() { return facts_; }
    const DecodeOptions& options() const { return options_; }

    // True once the file can't be read or the view can't write: nothing more
    // is decoded or reported.
    bool stopped() const { return file_.failed() || view_.failed() || findings_.failed(); }
    bool findings_wanted() const { return findings_.wants_findings(); }

    void report(std::int64_t offset, Severity severity, std::string_view code,
                std::string_view message);
    // A finding about the file's extent (cut short, or bytes after its last
    // object), which tells of File Size too when File Size disagrees.
    void report_extent(std::int64_t offset, std::string_view code, std::string_view message,
                       Severity severity = Severity::error);

    // Decodes the objects in [start, end), placed as `where`, `depth` levels
    // below the top; returns how many there were.
    virtual std::uint32_t walk(std::int64_t start, std::int64_t end, asf::Placement where,
                               int depth) = 0;
    // The probe of packets for key frames that the index checks share.
    virtual KeyFrameProbe& key_frame_probe() = 0;

    // Reusable buffers for text and bytes, so that fields don't allocate.
    std::string& text_buffer() { return text_; }
    std::vector<std::uint8_t>& byte_buffer() { return bytes_; }

  protected:
    ~Context() = default;

    io::FileReader& file_;
    View& view_;
    FindingSink& findings_;
    DecodeOptions options_;
    Facts facts_;
    std::string text_;
    std::vector<std::uint8_t> bytes_;
};

}  // namespace asfinspect::decode
