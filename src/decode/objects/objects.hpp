#pragma once

#include "asf/guid_registry.hpp"
#include "decode/field_reader.hpp"

namespace asfinspect::decode::objects {

// Decodes an object's fields (and children) from the reader, which stands at
// the first byte after the object's 24-byte header and ends at the object's
// end; records what later objects and packets need in the reader's facts.
using ObjectLayout = void (*)(FieldReader&);

// nullptr: an object with nothing to decode (an unknown one, say).
ObjectLayout layout_of(asf::ObjectType type);

// The Data Object's fields before its packets.
void decode_data_object_head(FieldReader& r);

}  // namespace asfinspect::decode::objects
