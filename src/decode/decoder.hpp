#pragma once

#include <cstdint>
#include <memory>
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

// Decodes the whole file by ASF's rules and reports it to the view, and its
// findings to the sink.
void decode_file(io::FileReader& file, View& view, FindingSink& findings, std::string_view path,
                 const DecodeOptions& options = {});

using asf::object_format::kObjectHeaderSize;
// Objects nested deeper than this are listed, their contents skipped.
inline constexpr int kMaxObjectDepth = 8;

class KeyFrameProbe;

// The walk over a file's objects; object layouts reach it through their
// FieldReader.
class Decoder {
  public:
    Decoder(io::FileReader& file, View& view, FindingSink& findings, const DecodeOptions& options);
    ~Decoder();

    void decode(std::string_view path);

    io::FileReader& file() { return file_; }
    View& view() { return view_; }
    Facts& facts() { return facts_; }
    const DecodeOptions& options() const { return options_; }

    // True once the file can't be read or the view can't write: nothing more
    // is decoded or reported.
    bool stopped() const { return file_.failed() || view_.failed() || findings_.failed(); }

    void report(std::int64_t offset, Severity severity, std::string_view code,
                std::string_view message);
    // A finding about the file's extent (cut short, or bytes after its last
    // object), which tells of File Size too when File Size disagrees.
    void report_extent(std::int64_t offset, std::string_view code, std::string_view message);

    // Decodes the objects in [start, end), placed as `where`, `depth` levels
    // below the top; returns how many there were.
    std::uint32_t walk(std::int64_t start, std::int64_t end, asf::Placement where, int depth);

    // Reusable buffers for text and bytes, so that fields don't allocate.
    std::string& text_buffer() { return text_; }
    std::vector<std::uint8_t>& byte_buffer() { return bytes_; }
    // The probe of packets for key frames that the index checks share; made
    // when first asked for.
    KeyFrameProbe& key_frame_probe();

  private:
    bool begins_with_an_object();
    ObjectHead read_head(std::int64_t offset);
    // Where the next object that belongs at `where` starts in (from, end), or
    // -1: for bytes that are no object, as a tagger that shrank a header
    // leaves behind.
    std::int64_t next_object(std::int64_t from, std::int64_t end, asf::Placement where);
    void plan_header(const ObjectHead& head, std::int64_t end, int depth);
    // Returns where the walk goes on.
    std::int64_t decode_object(const ObjectHead& head, std::int64_t end, asf::Placement where,
                               int depth, bool past_file_end);
    bool placed_well(const ObjectHead& head, asf::Placement where);
    std::int64_t decode_data_object(const ObjectHead& head, std::int64_t end, int depth,
                                    bool past_file_end);
    void finish_file();

    io::FileReader& file_;
    View& view_;
    FindingSink& findings_;
    DecodeOptions options_;
    Facts facts_;
    bool planning_ = false;  // a first pass over the Header Object, for facts_.plan
    std::string text_;
    std::vector<std::uint8_t> bytes_;
    std::unique_ptr<KeyFrameProbe> key_frame_probe_;
};

}  // namespace asfinspect::decode
