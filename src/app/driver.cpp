#include "app/driver.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string_view>

#include "asf/file_properties.hpp"
#include "asf/scan_state.hpp"
#include "asf/walker.hpp"
#include "packet/packet.hpp"
#include "report/file_properties.hpp"
#include "report/stream_properties.hpp"

#ifndef ASFINSPECT_VERSION
#define ASFINSPECT_VERSION "0.0.0"
#endif

namespace asfinspect::app {

namespace {

constexpr std::string_view kUsage = "usage: asfinspect FILE";

constexpr std::string_view kHelp =
    "usage: asfinspect FILE\n"
    "\n"
    "Dumps the structure of an ASF file (.asf, .wma, .wmv): the object list with\n"
    "offsets, the file and stream properties, and every data packet and payload\n"
    "with raw bytes, field by field. Problems in the file are reported as warning\n"
    "lines in the dump.\n"
    "\n"
    "Exit status: 0 when the dump was written (whatever the file holds),\n"
    "1 when the file can't be opened or read or the dump can't be written,\n"
    "2 on a usage error.\n"
    "\n"
    "  --help     show this text\n"
    "  --version  show the version\n";

// Packets are laid end to end from the first packet offset, spaced by the
// minimum packet size; the loop stops at the end of the file so that a
// truncated recording, or a damaged count, can't make it run on for ever.
void dump_packets(io::FileReader& file, io::Output& out, std::int64_t first_offset,
                  const asf::FilePropertiesFields& props) {
    const std::int64_t count = props.data_packets;
    const std::int64_t spacing = props.min_packet_size;  // unsigned 32-bit, in 64-bit arithmetic
    const auto packet_size = static_cast<std::int32_t>(props.min_packet_size);
    for (std::int64_t i = 0; i < count && !out.failed() && !file.failed(); ++i) {
        const std::int64_t offset = first_offset + i * spacing;
        if (offset >= file.size()) {
            out.dec().text("Truncated file: ").i64(i).text(" of ").i64(count);
            out.text(" packets present").end_line();
            return;
        }
        packet::dump_packet(file, out, offset, packet_size);
        if (spacing == 0 && count > 1) {
            out.text("Packet size is 0: later packets repeat the first").end_line();
            return;
        }
    }
}

}  // namespace

void dump_file(io::FileReader& file, io::Output& out) {
    asf::ScanState state;
    out.hex();
    asf::walk_objects(file, out, state, 0, file.size(), 0);
    if (file.failed())
        return;  // the reports would show what the file doesn't hold
    report::report_file_properties(out, state.file_properties);
    for (int i = 0; i < state.stream_count; ++i) {
        report::report_stream(out, state.streams[static_cast<std::size_t>(i)]);
    }
    if (state.first_packet_offset < 0) {
        out.text("Data chunk not found").end_line();
        return;
    }
    out.text("First data packet: offset ").i64(state.first_packet_offset).end_line();
    dump_packets(file, out, state.first_packet_offset,
                 asf::decode_file_properties(state.file_properties));
}

namespace {

// The length of an open regular file or block device (a disk image, a raw
// disk), or -1 with errno set. A directory, a FIFO, a socket or a character
// device is refused: it has no length to bound the dump (a terminal, /dev/zero)
// or can't be read at any position.
off_t seekable_length(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return -1;
    if (S_ISDIR(st.st_mode)) {
        errno = EISDIR;
        return -1;
    }
    if (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode)) {
        errno = ESPIPE;
        return -1;
    }
    if (!S_ISREG(st.st_mode) && !S_ISBLK(st.st_mode)) {
        errno = ENOTBLK;
        return -1;
    }
    return ::lseek(fd, 0, SEEK_END);
}

int fail(io::Output& err, std::string_view what, const char* path, int error) {
    err.text("asfinspect: ").text(what).text(" '").text(path).text("': ");
    err.text(std::strerror(error)).end_line();
    err.flush();
    return kExitFailure;
}

// Ends a run that wrote to `out`: hands it the rest of the text and reports a
// failed write, or else the read error `read_error` (an errno, or 0).
int finish(io::Output& out, io::Output& err, int read_error) {
    if (!out.flush()) {
        err.text("asfinspect: write error: ").text(std::strerror(out.error())).end_line();
        err.flush();
        return kExitFailure;
    }
    if (read_error != 0) {
        err.text("asfinspect: read error: ").text(std::strerror(read_error)).end_line();
        err.flush();
        return kExitFailure;
    }
    return kExitOk;
}

}  // namespace

int dump_input(io::FileReader& file, io::Output& out, io::Output& err) {
    dump_file(file, out);
    return finish(out, err, file.error());
}

namespace {

// Dumps the file at `path`; nothing reaches `out` when it can't be read.
int dump_path(const char* path, io::Output& out, io::Output& err) {
    // O_NONBLOCK: opening a FIFO would otherwise wait for a writer; it has no
    // effect on reading a regular file or a block device.
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return fail(err, "cannot open", path, errno);
    const off_t size = seekable_length(fd);
    if (size < 0) {
        const int error = errno;
        ::close(fd);
        return fail(err, "cannot read", path, error);
    }
    io::FileReader file(fd, size);
    const int status = dump_input(file, out, err);
    ::close(fd);
    return status;
}

}  // namespace

int run(int argc, const char* const* argv, io::Output& out, io::Output& err) {
    if (argc < 2) {
        err.text(kUsage).end_line();
        err.flush();
        return kExitUsage;
    }
    const std::string_view arg = argv[1];
    if (arg == "--help") {
        out.text(kHelp);
        return finish(out, err, 0);
    }
    if (arg == "--version") {
        out.text("asfinspect " ASFINSPECT_VERSION).end_line();
        return finish(out, err, 0);
    }
    return dump_path(argv[1], out, err);
}

}  // namespace asfinspect::app
