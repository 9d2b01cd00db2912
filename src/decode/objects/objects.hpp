#pragma once

// The layouts of the objects the decoder knows, found by their type.

#include <span>

#include "asf/guid_registry.hpp"
#include "decode/field_reader.hpp"

namespace asfinspect::decode::objects {

// Decodes an object's fields (and children) from the reader, which stands at
// the first byte after the object's 24-byte header and ends at the object's
// end; records what later objects and packets need in the reader's facts.
using ObjectLayout = void (*)(FieldReader&);

// A type of object and its layout: one row for each type in the registry.
// A null layout says that the object has nothing to decode here.
struct LayoutRow {
    asf::ObjectType type;
    ObjectLayout layout;
};

// The rows of each family of layouts.
std::span<const std::span<const LayoutRow>> layout_families();

// nullptr: an object with nothing to decode (an unknown one, say).
ObjectLayout layout_of(asf::ObjectType type);

// The Data Object's fields before its packets.
void decode_data_object_head(FieldReader& r);

}  // namespace asfinspect::decode::objects
