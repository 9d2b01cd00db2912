// Mutual exclusion, prioritization, bandwidth sharing, error correction and
// content protection objects.

#include "asf/layouts.hpp"

namespace asfinspect::asf::layouts {

void bitrate_mutual_exclusion(FieldReader& r) {
    opaque(r);
}

void advanced_mutual_exclusion(FieldReader& r) {
    opaque(r);
}

void group_mutual_exclusion(FieldReader& r) {
    opaque(r);
}

void stream_prioritization(FieldReader& r) {
    opaque(r);
}

void bandwidth_sharing(FieldReader& r) {
    opaque(r);
}

void error_correction(FieldReader& r) {
    opaque(r);
}

void content_encryption(FieldReader& r) {
    opaque(r);
}

void extended_content_encryption(FieldReader& r) {
    opaque(r);
}

void advanced_content_encryption(FieldReader& r) {
    opaque(r);
}

void digital_signature(FieldReader& r) {
    opaque(r);
}

}  // namespace asfinspect::asf::layouts
