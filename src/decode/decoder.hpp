#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "decode/context.hpp"

namespace asfinspect::decode {

// Decodes the whole file by ASF's rules and reports it to the view, and its
// findings to the sink.
void decode_file(io::FileReader& file, View& view, FindingSink& findings, std::string_view path,
                 const DecodeOptions& options = {});

// Where the first top-level object of `type` starts at or after `from`, by
// its GUID and a size that an object can have, or -1: for a file whose
// header is lost, its Data Object.
std::int64_t find_top_level_object(io::FileReader& file, asf::ObjectType type, std::int64_t from);

// The walk over a file's objects: each object to its layout, the packets
// of the Data Object to the packet decoder.
class Decoder final : public Context {
  public:
    Decoder(io::FileReader& file, View& view, FindingSink& findings, const DecodeOptions& options);
    ~Decoder();

    void decode(std::string_view path);

    std::uint32_t walk(std::int64_t start, std::int64_t end, asf::Placement where,
                       int depth) override;
    // Made when first asked for.
    KeyFrameProbe& key_frame_probe() override;

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
    void report_zeros_after_objects(std::int64_t from, std::int64_t end);
    void report_cut_data_object(const ObjectHead& head);
    std::int64_t decode_data_object(const ObjectHead& head, std::int64_t end, int depth,
                                    bool past_file_end);
    void finish_file();

    bool planning_ = false;  // a first pass over the Header Object, for facts_.plan
    std::unique_ptr<KeyFrameProbe> key_frame_probe_;
};

}  // namespace asfinspect::decode
