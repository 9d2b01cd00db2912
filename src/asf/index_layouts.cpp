// The index objects and their parameters.

#include "asf/layouts.hpp"

namespace asfinspect::asf::layouts {

void index_parameters(FieldReader& r) {
    opaque(r);
}

void media_object_index_parameters(FieldReader& r) {
    opaque(r);
}

void timecode_index_parameters(FieldReader& r) {
    opaque(r);
}

void simple_index(FieldReader& r) {
    opaque(r);
}

void index(FieldReader& r) {
    opaque(r);
}

void media_object_index(FieldReader& r) {
    opaque(r);
}

void timecode_index(FieldReader& r) {
    opaque(r);
}

}  // namespace asfinspect::asf::layouts
