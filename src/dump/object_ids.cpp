#include "dump/object_ids.hpp"

#include "io/le.hpp"

namespace asfinspect::dump {

io::Output& print_guid(io::Output& out, const asf::Guid& guid) {
    const io::Bytes b(guid.bytes);
    out.u64(io::le32(b, 0)).text("-").u64(io::le16(b, 4)).text("-").u64(io::le16(b, 6)).text("-");
    for (std::size_t i = 8; i < guid.bytes.size(); ++i)
        out.u64(guid.bytes[i]);
    return out;
}

}  // namespace asfinspect::dump
