#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <string_view>

namespace asfinspect::io {

// Where an Output hands its text when it is neither a descriptor nor memory:
// a writer that puts the outputs of several files in order, say.
class OutputTarget {
  public:
    virtual ~OutputTarget() = default;
    // Takes `n` bytes; returns 0, or the errno of a failure, after which
    // nothing more is handed over.
    virtual int write(const char* p, std::size_t n) = 0;
};

// Text output with the dump's number conventions: a sticky base (decimal or
// hexadecimal), a width that applies to the next value only, and a fill
// character. Text is formatted into an internal block and handed to the sink
// when the block fills, at each line end when writing to a terminal, and on
// flush().
class Output {
  public:
    enum class Base { decimal, hexadecimal };

    // Writes to a file descriptor; line-flushed when it is a terminal.
    explicit Output(int fd);
    // Keeps everything in memory (text()).
    static Output memory();
    // Discards the text and counts its bytes (bytes_written()).
    static Output counting();
    // Hands the text to `target`, which must outlive the Output.
    static Output to(OutputTarget& target);

    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;
    Output(Output&&) noexcept;
    Output& operator=(Output&&) = delete;
    ~Output();

    Output& text(std::string_view s) {
        if (s.size() > kBlockSize - len_)
            return text_slow(s);
        // An empty view may hold no pointer at all, which memcpy must not get.
        if (!s.empty())
            std::memcpy(block_ + len_, s.data(), s.size());
        len_ += s.size();
        return *this;
    }
    // Writes the first `length` of the N characters at `data`: all N are
    // copied, which compiles to a few moves, and only `length` are kept.
    template <std::size_t N>
    Output& text_within(const char* data, std::size_t length) {
        if (N > kBlockSize - len_)
            return text_slow(std::string_view(data, length));
        std::memcpy(block_ + len_, data, N);
        len_ += length;
        return *this;
    }
    // Room for N bytes, to write in place: a writer fills at most N from
    // the pointer returned, then says how many it wrote.
    template <std::size_t N>
    char* room() {
        static_assert(N <= kBlockSize);
        reserve(N);
        return block_ + len_;
    }
    void wrote(std::size_t n) { len_ += n; }
    Output& i32(std::int32_t v);
    Output& i64(std::int64_t v);
    Output& u64(std::uint64_t v);
    Output& real(double v);  // printf %g, six significant digits
    // Decimal and hexadecimal whatever the sticky base, for the writers that
    // don't follow the dump's conventions; no width applies.
    Output& number(std::uint64_t v) {
        put_unsigned(v, false, Base::decimal);
        return *this;
    }
    Output& signed_number(std::int64_t v) {
        // Negated in unsigned arithmetic so that INT64_MIN has a magnitude too.
        put_unsigned(v < 0 ? 0 - static_cast<std::uint64_t>(v) : static_cast<std::uint64_t>(v),
                     v < 0, Base::decimal);
        return *this;
    }
    Output& hex_number(std::uint64_t v) {
        put_unsigned(v, false, Base::hexadecimal);
        return *this;
    }
    // Each byte as two lowercase hexadecimal digits and a space, whatever the
    // base, width and fill.
    Output& hex_bytes(std::span<const std::uint8_t> bytes);
    Output& end_line() {
        reserve(1);
        block_[len_++] = '\n';
        if (line_flushed_)
            drain();
        return *this;
    }

    Output& hex() {
        base_ = Base::hexadecimal;
        return *this;
    }
    Output& dec() {
        base_ = Base::decimal;
        return *this;
    }
    Output& set_base(Base b) {
        base_ = b;
        return *this;
    }
    Base base() const { return base_; }
    Output& width(int w) {
        width_ = w;
        return *this;
    }
    Output& fill(char c) {
        fill_ = c;
        return *this;
    }

    // Hands buffered text to the sink. False once any write has failed.
    bool flush();
    bool failed() const { return error_ != 0; }
    int error() const { return error_; }  // errno of the first failed write

    // Memory sink: everything written so far (after flush()).
    const std::string& text_so_far();
    std::uint64_t bytes_written() const { return total_ + len_; }

  private:
    enum class Sink { fd, memory, counting, target };
    Output(Sink sink, int fd);

    Output& text_slow(std::string_view s);
    void put_fill(std::size_t n);
    void put_unsigned(std::uint64_t magnitude, bool negative, Base base);
    void put_unsigned_slow(std::uint64_t magnitude, bool negative, Base base);
    // Makes room for n <= kBlockSize bytes in the block.
    void reserve(std::size_t n) {
        if (n > kBlockSize - len_)
            drain();
    }
    void drain();
    void write_to_fd(const char* p, std::size_t n);
    void write_out(const char* p, std::size_t n);

    static constexpr std::size_t kBlockSize = 1 << 16;
    // 20 digits of a 64-bit value and a sign.
    static constexpr std::size_t kMaxNumberChars = 21;

    Sink sink_;
    int fd_ = -1;
    bool line_flushed_ = false;
    Base base_ = Base::decimal;
    int width_ = 0;
    char fill_ = ' ';
    int error_ = 0;
    std::uint64_t total_ = 0;  // bytes handed to the sink
    std::size_t len_ = 0;
    char* block_;
    std::string memory_;
    OutputTarget* target_ = nullptr;
};

}  // namespace asfinspect::io
