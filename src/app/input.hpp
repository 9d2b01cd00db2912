#pragma once

#include <cstdint>
#include <string>

namespace asfinspect::app {

// A file opened for reading at offsets, or why it can't be read.
struct Input {
    int fd = -1;
    std::int64_t size = 0;
    // When fd < 0: what failed and why, as in
    // "asfinspect: PATH: cannot open: No such file or directory".
    const char* failure = "";
    std::string reason;
};

// Opens `path` for reading. Only a regular file or a block device is read: ASF
// is read at offsets, which a FIFO, a socket or standard input can't give,
// and a directory or a character device has no length to bound the reading.
Input open_input(const char* path);

}  // namespace asfinspect::app
