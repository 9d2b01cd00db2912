#include "io/output.hpp"

#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <utility>

namespace asfinspect::io {

namespace {

constexpr char kHexDigits[] = "0123456789abcdef";

// "00".."99", so decimal conversion emits two digits per division.
constexpr char kDigitPairs[] =
    "0001020304050607080910111213141516171819"
    "2021222324252627282930313233343536373839"
    "4041424344454647484950515253545556575859"
    "6061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// Writes the digits of v right-aligned, ending just before `end`; returns the first digit.
char* format_decimal(std::uint64_t v, char* end) {
    while (v >= 100) {
        const auto pair = static_cast<unsigned>(v % 100) * 2;
        v /= 100;
        *--end = kDigitPairs[pair + 1];
        *--end = kDigitPairs[pair];
    }
    if (v >= 10) {
        const auto pair = static_cast<unsigned>(v) * 2;
        *--end = kDigitPairs[pair + 1];
        *--end = kDigitPairs[pair];
    } else {
        *--end = static_cast<char>('0' + v);
    }
    return end;
}

char* format_hex(std::uint64_t v, char* end) {
    do {
        *--end = kHexDigits[v & 0xf];
        v >>= 4;
    } while (v != 0);
    return end;
}

}  // namespace

Output::Output(int fd) : Output(Sink::fd, fd) {}

Output Output::memory() {
    return Output(Sink::memory, -1);
}

Output Output::counting() {
    return Output(Sink::counting, -1);
}

Output::Output(Sink sink, int fd) : sink_(sink), fd_(fd), block_(new char[kBlockSize]) {
    line_flushed_ = sink == Sink::fd && isatty(fd) == 1;
}

Output::Output(Output&& other) noexcept
    : sink_(other.sink_),
      fd_(other.fd_),
      line_flushed_(other.line_flushed_),
      base_(other.base_),
      width_(other.width_),
      fill_(other.fill_),
      error_(other.error_),
      total_(other.total_),
      len_(other.len_),
      block_(std::exchange(other.block_, nullptr)),
      memory_(std::move(other.memory_)) {
    other.len_ = 0;
}

Output::~Output() {
    if (block_ != nullptr) {
        drain();
        delete[] block_;
    }
}

Output& Output::text(std::string_view s) {
    if (s.size() > kBlockSize) {
        drain();
        total_ += s.size();
        if (sink_ == Sink::fd)
            write_to_fd(s.data(), s.size());
        if (sink_ == Sink::memory)
            memory_.append(s);
        return *this;
    }
    reserve(s.size());
    std::memcpy(block_ + len_, s.data(), s.size());
    len_ += s.size();
    return *this;
}

void Output::put_number(const char* digits, std::size_t n) {
    const std::size_t pad = width_ > 0 && static_cast<std::size_t>(width_) > n ? width_ - n : 0;
    width_ = 0;
    reserve(pad + n);
    std::memset(block_ + len_, fill_, pad);
    std::memcpy(block_ + len_ + pad, digits, n);
    len_ += pad + n;
}

void Output::put_unsigned(std::uint64_t magnitude, bool negative) {
    char buf[24];
    char* const end = buf + sizeof buf;
    char* first =
        base_ == Base::hexadecimal ? format_hex(magnitude, end) : format_decimal(magnitude, end);
    if (negative)
        *--first = '-';
    put_number(first, static_cast<std::size_t>(end - first));
}

Output& Output::i32(std::int32_t v) {
    if (base_ == Base::hexadecimal) {
        put_unsigned(static_cast<std::uint32_t>(v), false);  // two's complement, 8 digits at most
    } else {
        const auto wide = static_cast<std::int64_t>(v);
        put_unsigned(static_cast<std::uint64_t>(wide < 0 ? -wide : wide), wide < 0);
    }
    return *this;
}

Output& Output::i64(std::int64_t v) {
    if (base_ == Base::hexadecimal || v >= 0) {
        put_unsigned(static_cast<std::uint64_t>(v), false);
    } else {
        // Negate in unsigned arithmetic so that INT64_MIN has a magnitude too.
        put_unsigned(0 - static_cast<std::uint64_t>(v), true);
    }
    return *this;
}

Output& Output::u64(std::uint64_t v) {
    put_unsigned(v, false);
    return *this;
}

Output& Output::real(double v) {
    // to_chars with a precision formats exactly as printf's %.6g in the C locale,
    // without the locale lookups and varargs of printf.
    char buf[32];
    const auto result = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 6);
    put_number(buf, static_cast<std::size_t>(result.ptr - buf));
    return *this;
}

Output& Output::end_line() {
    reserve(1);
    block_[len_++] = '\n';
    if (line_flushed_)
        drain();
    return *this;
}

bool Output::flush() {
    drain();
    return !failed();
}

const std::string& Output::text_so_far() {
    drain();
    return memory_;
}

void Output::drain() {
    if (len_ == 0)
        return;
    total_ += len_;
    switch (sink_) {
        case Sink::fd:
            write_to_fd(block_, len_);
            break;
        case Sink::memory:
            memory_.append(block_, len_);
            break;
        case Sink::counting:
            break;
    }
    len_ = 0;
}

void Output::write_to_fd(const char* p, std::size_t n) {
    // After the first failure the rest of the dump is discarded; the caller
    // reports the error once.
    while (n > 0 && error_ == 0) {
        const ssize_t written = ::write(fd_, p, n);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            error_ = errno;
        } else if (written == 0) {
            error_ = EIO;
        } else {
            p += written;
            n -= static_cast<std::size_t>(written);
        }
    }
}

}  // namespace asfinspect::io
