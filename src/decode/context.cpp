#include "decode/context.hpp"

#include "decode/text.hpp"

namespace asfinspect::decode {

void Context::report(std::int64_t offset, Severity severity, std::string_view code,
                     std::string_view text) {
    // What follows a failed read would be made from zeros, and a view that
    // can't write has no use for it.
    if (!stopped())
        findings_.finding(Finding{offset, severity, code, text});
}

void Context::report_extent(std::int64_t offset, std::string_view code, std::string_view text,
                            Severity severity) {
    facts_.extent_reported = true;
    const FilePropertiesFacts& fp = facts_.file_properties;
    const auto size = static_cast<std::uint64_t>(file_.size());
    if (!fp.present || fp.broadcast() || fp.file_size == size) {
        report(offset, severity, code, text);
        return;
    }
    report(offset, severity, code,
           message(text, " (File Size says ", fp.file_size, " bytes; the file holds ", file_.size(),
                   ")"));
}

}  // namespace asfinspect::decode
