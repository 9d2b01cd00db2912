#pragma once

// Runs the complete decoder over bytes built in a test, into the tree, the
// JSON or the check view, and gives back what the view wrote.

#include <string>

#include "asf_writer.hpp"
#include "check/check_view.hpp"
#include "decode/decoder.hpp"
#include "io/file_reader.hpp"
#include "io/output.hpp"
#include "view/json_view.hpp"
#include "view/tree_view.hpp"

namespace asftest {

using asfinspect::asf::registry_guid;

template <typename View, typename... Args>
std::string decode_with(const Bytes& file, const asfinspect::decode::DecodeOptions& options,
                        Args&&... args) {
    asfinspect::io::FileReader reader(file);
    auto out = asfinspect::io::Output::memory();
    View view(out, std::forward<Args>(args)...);
    asfinspect::decode::decode_file(reader, view, "test.asf", options);
    return out.text_so_far();
}

inline std::string tree_of(const Bytes& file,
                           const asfinspect::decode::DecodeOptions& options = {}) {
    return decode_with<asfinspect::view::TreeView>(file, options);
}

inline std::string json_of(const Bytes& file,
                           const asfinspect::decode::DecodeOptions& options = {}) {
    return decode_with<asfinspect::view::JsonView>(file, options);
}

// The check's findings, one line each, and its closing count.
inline std::string check_of(const Bytes& file) {
    return decode_with<asfinspect::check::CheckView>(file, {},
                                                     asfinspect::check::CheckView::Format::text);
}

}  // namespace asftest
