// Codec List, Script Command, Marker, the content descriptions, Content
// Branding, Metadata, Metadata Library, Language List and Compatibility.

#include "asf/layouts.hpp"

namespace asfinspect::asf::layouts {

void codec_list(FieldReader& r) {
    opaque(r);
}

void script_command(FieldReader& r) {
    opaque(r);
}

void marker(FieldReader& r) {
    opaque(r);
}

void content_description(FieldReader& r) {
    opaque(r);
}

void extended_content_description(FieldReader& r) {
    opaque(r);
}

void content_branding(FieldReader& r) {
    opaque(r);
}

void metadata(FieldReader& r) {
    opaque(r);
}

void metadata_library(FieldReader& r) {
    opaque(r);
}

void language_list(FieldReader& r) {
    opaque(r);
}

void compatibility(FieldReader& r) {
    opaque(r);
}

}  // namespace asfinspect::asf::layouts
