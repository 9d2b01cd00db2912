// asfgen OUTPUT SIZE [PACKET_SIZE]: writes a well-formed ASF file of at most
// SIZE bytes (whole packets), deterministic for the same arguments.

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string_view>

#include "asfgen/generator.hpp"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

constexpr const char* kUsage =
    "usage: asfgen OUTPUT SIZE [PACKET_SIZE]\n"
    "  SIZE: the largest file size in bytes; a suffix K, M, G or T multiplies by 1024^n\n"
    "  PACKET_SIZE: 512 to 65535 bytes (default 3200)\n";

// "1500", "64K", "5G": a byte count with an optional binary suffix.
std::optional<std::uint64_t> parse_size(std::string_view text) {
    std::uint64_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end == text.data())
        return std::nullopt;
    const std::string_view suffix(end, static_cast<std::size_t>(text.data() + text.size() - end));
    if (suffix.empty())
        return value;
    constexpr std::string_view kSuffixes = "KMGT";
    const auto at = suffix.size() == 1 ? kSuffixes.find(suffix[0]) : std::string_view::npos;
    if (at == std::string_view::npos)
        return std::nullopt;
    const unsigned shift = 10 * static_cast<unsigned>(at + 1);
    if (value > (~std::uint64_t{0} >> shift))
        return std::nullopt;
    return value << shift;
}

// Writes straight to the file; the generator already hands over big blocks.
class FileSink : public asfgen::ByteSink {
  public:
    explicit FileSink(int fd) : fd_(fd) {}
    void append(std::span<const std::uint8_t> bytes) override {
        write_at(bytes, offset_);
        offset_ += bytes.size();
    }
    void rewrite_start(std::span<const std::uint8_t> bytes) override { write_at(bytes, 0); }
    bool failed() const override { return error_ != 0; }
    int error() const { return error_; }

  private:
    void write_at(std::span<const std::uint8_t> bytes, std::uint64_t offset) {
        std::size_t done = 0;
        while (done < bytes.size() && error_ == 0) {
            const ssize_t n = ::pwrite(fd_, bytes.data() + done, bytes.size() - done,
                                       static_cast<off_t>(offset + done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                error_ = n < 0 ? errno : EIO;
                break;
            }
            done += static_cast<std::size_t>(n);
        }
    }

    int fd_;
    std::uint64_t offset_ = 0;
    int error_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3 || argc > 4) {
        std::fputs(kUsage, stderr);
        return kExitUsage;
    }
    const auto size = parse_size(argv[2]);
    const auto packet_size = argc == 4 ? parse_size(argv[3]) : asfgen::kDefaultPacketSize;
    if (!size || !packet_size || *packet_size > asfgen::kMaxPacketSize) {
        std::fputs(kUsage, stderr);
        return kExitUsage;
    }
    const auto layout = asfgen::plan_file(*size, static_cast<std::uint32_t>(*packet_size));
    if (!layout) {
        std::fprintf(stderr, "asfgen: packet size out of range, or SIZE below one packet\n");
        return kExitUsage;
    }
    const int fd = ::open(argv[1], O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        std::fprintf(stderr, "asfgen: cannot create '%s': %s\n", argv[1], std::strerror(errno));
        return kExitFailure;
    }
    FileSink sink(fd);
    const asfgen::Summary summary = asfgen::generate(*layout, sink);
    if (sink.error() != 0 || ::close(fd) != 0) {
        const int error = sink.error() != 0 ? sink.error() : errno;
        std::fprintf(stderr, "asfgen: cannot write '%s': %s\n", argv[1], std::strerror(error));
        return kExitFailure;
    }
    std::printf("%s: %llu bytes, %llu packets of %u bytes, %llu payloads (%llu grouped)\n", argv[1],
                static_cast<unsigned long long>(layout->file_size),
                static_cast<unsigned long long>(layout->packets), layout->packet_size,
                static_cast<unsigned long long>(summary.payloads),
                static_cast<unsigned long long>(summary.grouped_payloads));
    return kExitOk;
}
