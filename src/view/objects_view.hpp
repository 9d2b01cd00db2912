#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "decode/view.hpp"
#include "io/json_writer.hpp"
#include "io/output.hpp"

namespace asfinspect::view {

// The media objects, one line each, fragments reassembled: stream, number,
// presentation time as a player shows it (the preroll subtracted) and as
// ASF stores it, size (the bytes present), key frame, fragments, first and
// last packet, the send time of the first fragment's packet, the offset of
// its first byte, and whether it is whole beside its declared size. As
// text, as JSON ({"file", "media_objects": [...]}, an object a line) or as
// CSV (a header row, then a row each).
class ObjectsView final : public decode::View {
  public:
    enum class Format { text, json, csv };

    ObjectsView(io::Output& out, Format format) : out_(out), json_(out), format_(format) {}

    // One file of several: as text its table follows a line with its path;
    // as CSV its rows begin with its path, under the one header row that
    // write_csv_header writes before them all.
    void set_batch() { batch_ = true; }
    static void write_csv_header(io::Output& out, bool path);

    bool wants_fields() const override { return false; }
    bool failed() const override { return out_.failed(); }
    void begin(const decode::Part& part) override;
    void end(const decode::Part& part) override;
    void media_object(const decode::MediaObject& m) override;

  private:
    void write_text(const decode::MediaObject& m);
    void write_json(const decode::MediaObject& m);
    void write_csv(const decode::MediaObject& m);

    io::Output& out_;
    io::JsonWriter json_;
    Format format_;
    std::uint64_t preroll_ = 0;  // ms
    std::string path_;           // of the file, in a run over several
    bool batch_ = false;
    std::uint64_t written_ = 0;
};

}  // namespace asfinspect::view
