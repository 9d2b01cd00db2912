#include "app/input.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string_view>

#include "io/error_text.hpp"

namespace asfinspect::app {

namespace {

constexpr std::string_view kReadAtOffsets =
    "ASF is read at offsets, so it must be a file (a FIFO, a socket or standard input can't be)";

// The length of an open regular file or block device (a disk image, a raw
// disk), or -1 with the reason.
std::int64_t seekable_length(int fd, std::string& reason) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        reason = io::error_text(errno);
        return -1;
    }
    if (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode)) {
        reason = kReadAtOffsets;
        return -1;
    }
    if (S_ISDIR(st.st_mode) || (!S_ISREG(st.st_mode) && !S_ISBLK(st.st_mode))) {
        reason = io::error_text(S_ISDIR(st.st_mode) ? EISDIR : ENOTBLK);
        return -1;
    }
    const off_t size = ::lseek(fd, 0, SEEK_END);
    if (size < 0)
        reason = io::error_text(errno);
    return size;
}

}  // namespace

Input open_input(const char* path) {
    Input input;
    if (std::string_view(path) == "-") {
        input.failure = "cannot read";
        input.reason = kReadAtOffsets;
        return input;
    }
    // O_NONBLOCK: opening a FIFO would otherwise wait for a writer; it has no
    // effect on reading a regular file or a block device.
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        input.failure = "cannot open";
        input.reason = io::error_text(errno);
        return input;
    }
    const std::int64_t size = seekable_length(fd, input.reason);
    if (size < 0) {
        ::close(fd);
        input.failure = "cannot read";
        return input;
    }
    input.fd = fd;
    input.size = size;
    return input;
}

}  // namespace asfinspect::app
