#include "io/output.hpp"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <string_view>
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

constexpr std::array<std::uint64_t, 20> kPowersOfTen = [] {
    std::array<std::uint64_t, 20> powers{};
    std::uint64_t p = 1;
    for (auto& power : powers) {
        power = p;
        p *= 10;
    }
    return powers;
}();

// Number of decimal digits of v (1 for 0), without a division: 1233 / 4096
// approximates log10(2), which gives the count or one less than it.
std::size_t decimal_digits(std::uint64_t v) {
    // v | 1 has the digits of v: no power of ten above 1 is odd.
    const std::uint64_t odd = v | 1;
    const auto guess = static_cast<std::size_t>(std::bit_width(odd) * 1233) >> 12;
    return guess + (odd >= kPowersOfTen[guess] ? 1 : 0);
}

std::size_t hex_digits(std::uint64_t v) {
    return (static_cast<std::size_t>(std::bit_width(v | 1)) + 3) / 4;
}

// A byte dump's group for each byte value: two digits and a space, plus one
// byte of slack so that a group is stored with one 4-byte copy.
constexpr std::size_t kGroupChars = 3;
constexpr std::size_t kGroupStride = 4;
constexpr std::array<char, 256 * kGroupStride> kHexGroups = [] {
    std::array<char, 256 * kGroupStride> groups{};
    for (std::size_t i = 0; i < 256; ++i) {
        groups[kGroupStride * i] = kHexDigits[i >> 4];
        groups[kGroupStride * i + 1] = kHexDigits[i & 0xf];
        groups[kGroupStride * i + 2] = ' ';
    }
    return groups;
}();

constexpr int kRealPrecision = 6;  // significant digits of %g
constexpr std::size_t kRealBufferSize = 32;

// Writes m × 10^e (m > 0) as %g with six significant digits would. Returns
// the end, or nullptr when the digits dropped are exactly half a unit of the
// sixth digit: printf then rounds the binary value, which is not exactly
// m × 10^e, so the caller must format that value itself.
char* format_general(std::uint64_t m, int e, bool negative, char* out) {
    auto digits = static_cast<int>(decimal_digits(m));
    if (digits > kRealPrecision) {
        const int drop = digits - kRealPrecision;
        const std::uint64_t unit = kPowersOfTen[static_cast<std::size_t>(drop)];
        const std::uint64_t rest = m % unit;
        m /= unit;
        e += drop;
        if (rest == unit / 2)
            return nullptr;
        if (rest > unit / 2 && ++m == kPowersOfTen[kRealPrecision]) {
            m /= 10;
            ++e;
        }
    }
    while (m % 10 == 0) {
        m /= 10;
        ++e;
    }
    digits = static_cast<int>(decimal_digits(m));
    char digit_text[kRealPrecision];
    format_decimal(m, digit_text + digits);
    const std::string_view d(digit_text, static_cast<std::size_t>(digits));
    const int exponent = digits - 1 + e;  // of the leading digit

    char* p = out;
    if (negative)
        *p++ = '-';
    const auto put = [&p](std::string_view s) { p = std::copy(s.begin(), s.end(), p); };
    if (exponent < -4 || exponent >= kRealPrecision) {
        put(d.substr(0, 1));
        if (digits > 1) {
            *p++ = '.';
            put(d.substr(1));
        }
        *p++ = 'e';
        *p++ = exponent < 0 ? '-' : '+';
        const auto magnitude = static_cast<std::uint64_t>(exponent < 0 ? -exponent : exponent);
        if (magnitude < 10)
            *p++ = '0';
        p += decimal_digits(magnitude);
        format_decimal(magnitude, p);
    } else if (e >= 0) {
        put(d);
        p = std::fill_n(p, e, '0');
    } else if (exponent >= 0) {
        const auto whole = static_cast<std::size_t>(exponent + 1);
        put(d.substr(0, whole));
        *p++ = '.';
        put(d.substr(whole));
    } else {
        *p++ = '0';
        *p++ = '.';
        p = std::fill_n(p, -exponent - 1, '0');
        put(d);
    }
    return p;
}

// The dump's floating values are mostly whole milliseconds in seconds, or
// whole byte counts. For such a value v = k / 1000 the six-digit rounding of
// the decimal k × 10^-3 is that of v itself: v lies within 2^-53 of it
// relatively, while a rounding boundary it doesn't sit on is at least 0.0005
// away (for |v| below 10^12). Other values return nullptr.
char* format_thousandths(double v, char* out) {
    constexpr double kLimit = 1e12;
    constexpr double kThousand = 1000.0;
    if (!(v > -kLimit && v < kLimit) || v == 0)
        return nullptr;  // NaN, infinities, large values, and the sign of zero
    const double scaled = v * kThousand;
    const auto k = static_cast<std::int64_t>(scaled < 0 ? scaled - 0.5 : scaled + 0.5);
    if (static_cast<double>(k) / kThousand != v)
        return nullptr;
    return format_general(static_cast<std::uint64_t>(k < 0 ? -k : k), -3, k < 0, out);
}

}  // namespace

Output::Output(int fd) : Output(Sink::fd, fd) {}

Output Output::memory() {
    return Output(Sink::memory, -1);
}

Output Output::counting() {
    return Output(Sink::counting, -1);
}

Output Output::to(OutputTarget& target) {
    Output out(Sink::target, -1);
    out.target_ = &target;
    return out;
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
      memory_(std::move(other.memory_)),
      target_(other.target_) {
    other.len_ = 0;
}

Output::~Output() {
    if (block_ != nullptr) {
        drain();
        delete[] block_;
    }
}

Output& Output::text_slow(std::string_view s) {
    drain();
    if (s.size() <= kBlockSize)
        return text(s);
    total_ += s.size();
    write_out(s.data(), s.size());
    return *this;
}

void Output::put_fill(std::size_t n) {
    while (n > 0) {
        reserve(1);
        const std::size_t chunk = std::min(n, kBlockSize - len_);
        std::memset(block_ + len_, fill_, chunk);
        len_ += chunk;
        n -= chunk;
    }
}

// Writes the digits straight into the block: the digit count is known first,
// so nothing is formatted twice or copied. Widths and a full block take the
// slow path, which leaves neither for this one.
void Output::put_unsigned(std::uint64_t magnitude, bool negative, Base base) {
    if (width_ != 0 || kBlockSize - len_ < kMaxNumberChars) {
        put_unsigned_slow(magnitude, negative, base);
        return;
    }
    char* p = block_ + len_;
    if (negative)
        *p++ = '-';
    if (base == Base::hexadecimal) {
        p += hex_digits(magnitude);
        format_hex(magnitude, p);
    } else {
        p += decimal_digits(magnitude);
        format_decimal(magnitude, p);
    }
    len_ = static_cast<std::size_t>(p - block_);
}

void Output::put_unsigned_slow(std::uint64_t magnitude, bool negative, Base base) {
    const std::size_t digits =
        base == Base::hexadecimal ? hex_digits(magnitude) : decimal_digits(magnitude);
    const std::size_t n = digits + (negative ? 1 : 0);
    const std::size_t width = width_ > 0 ? static_cast<std::size_t>(width_) : 0;
    width_ = 0;
    put_fill(width > n ? width - n : 0);
    reserve(kMaxNumberChars);
    put_unsigned(magnitude, negative, base);
}

Output& Output::i32(std::int32_t v) {
    if (base_ == Base::hexadecimal) {
        put_unsigned(static_cast<std::uint32_t>(v), false,
                     base_);  // two's complement, 8 digits at most
    } else {
        const auto wide = static_cast<std::int64_t>(v);
        put_unsigned(static_cast<std::uint64_t>(wide < 0 ? -wide : wide), wide < 0, base_);
    }
    return *this;
}

Output& Output::i64(std::int64_t v) {
    if (base_ == Base::hexadecimal || v >= 0) {
        put_unsigned(static_cast<std::uint64_t>(v), false, base_);
    } else {
        // Negate in unsigned arithmetic so that INT64_MIN has a magnitude too.
        put_unsigned(0 - static_cast<std::uint64_t>(v), true, base_);
    }
    return *this;
}

Output& Output::u64(std::uint64_t v) {
    put_unsigned(v, false, base_);
    return *this;
}

Output& Output::real(double v) {
    // to_chars with a precision formats exactly as printf's %.6g in the C locale,
    // without the locale lookups and varargs of printf.
    char buf[kRealBufferSize];
    const char* end = format_thousandths(v, buf);
    if (end == nullptr) {
        end =
            std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, kRealPrecision).ptr;
    }
    const auto n = static_cast<std::size_t>(end - buf);
    const std::size_t pad = width_ > 0 && static_cast<std::size_t>(width_) > n ? width_ - n : 0;
    width_ = 0;
    put_fill(pad);
    return text(std::string_view(buf, n));
}

Output& Output::hex_bytes(std::span<const std::uint8_t> bytes) {
    width_ = 0;
    while (!bytes.empty()) {
        const std::size_t n = std::min(bytes.size(), kBlockSize / kGroupStride);
        // Each copy writes one byte past its group, which the next group or
        // the next write replaces.
        reserve(n * kGroupChars + (kGroupStride - kGroupChars));
        char* p = block_ + len_;
        for (const std::uint8_t byte : bytes.first(n)) {
            std::memcpy(p, &kHexGroups[kGroupStride * byte], kGroupStride);
            p += kGroupChars;
        }
        len_ += n * kGroupChars;
        bytes = bytes.subspan(n);
    }
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
    write_out(block_, len_);
    len_ = 0;
}

void Output::write_out(const char* p, std::size_t n) {
    switch (sink_) {
        case Sink::fd:
            write_to_fd(p, n);
            break;
        case Sink::memory:
            memory_.append(p, n);
            break;
        case Sink::counting:
            break;
        case Sink::target:
            if (error_ == 0)
                error_ = target_->write(p, n);
            break;
    }
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
