#pragma once

#include "answers/model.hpp"
#include "decode/selection.hpp"
#include "io/output.hpp"

// The summary's writers, one per format, over the file's answers; `shown`
// chooses the streams (and their tags).
namespace asfinspect::view {

void write_summary_text(io::Output& out, const answers::FileAnswers& a,
                        const decode::StreamSet& shown);
void write_summary_json(io::Output& out, const answers::FileAnswers& a,
                        const decode::StreamSet& shown);
// With `path`, each row begins with the file's path, under a `path` column.
void write_summary_csv_header(io::Output& out, bool path);
void write_summary_csv(io::Output& out, const answers::FileAnswers& a,
                       const decode::StreamSet& shown, bool path);

// Where a tag is shown: with the file's, with a shown stream's, or not at
// all (a stream not shown).
enum class TagScope : std::uint8_t { file, stream, hidden };
TagScope scope_of(const answers::TagAnswers& tag, const decode::StreamSet& shown);

}  // namespace asfinspect::view
