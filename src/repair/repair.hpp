#pragma once

#include <cstdint>
#include <limits>
#include <string>

#include "io/output.hpp"

// Repair: a damaged recording written whole again into a new file, keeping
// every byte that can be kept. A first pass over the file plans (which
// packets are kept, rewritten, replaced by padding or dropped, which media
// objects are dropped, which fields and indexes change), a second writes
// the new file beside its destination, and a third reads it back with the
// decoder before it takes the destination's name.
namespace asfinspect::repair {

struct Request {
    std::string file;
    std::string out;        // empty: none given
    std::string reference;  // a file of the same settings whose header is lent; empty: none
    bool dry_run = false;
    bool force = false;  // OUT may be replaced
    bool json = false;
};

// For tests: the file system fills up after this many bytes of OUT.
struct TestHooks {
    std::uint64_t write_limit = std::numeric_limits<std::uint64_t>::max();
};

enum class Outcome : std::uint8_t {
    repaired,
    nothing_to_repair,
    dry_run,
    usage,        // the command line can't be carried out: `err` says why
    failure,      // a read or write failed; nothing is left behind
    cannot_mend,  // damage beyond repair, or the result didn't prove whole; nothing written
};

// Repairs `request.file` into `request.out`: the changes and the totals to
// `out`, failures to `err`.
Outcome repair(const Request& request, io::Output& out, io::Output& err,
               const TestHooks& hooks = {});

}  // namespace asfinspect::repair
