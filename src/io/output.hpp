#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace asfinspect::io {

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

    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;
    Output(Output&&) noexcept;
    Output& operator=(Output&&) = delete;
    ~Output();

    Output& text(std::string_view s);
    Output& i32(std::int32_t v);
    Output& i64(std::int64_t v);
    Output& u64(std::uint64_t v);
    Output& real(double v);  // printf %g, six significant digits
    Output& end_line();

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
    enum class Sink { fd, memory, counting };
    Output(Sink sink, int fd);

    void put_number(const char* digits, std::size_t n);  // applies width and fill
    void put_unsigned(std::uint64_t magnitude, bool negative);
    void reserve(std::size_t n) {
        if (len_ + n > kBlockSize)
            drain();
    }
    void drain();
    void write_to_fd(const char* p, std::size_t n);

    static constexpr std::size_t kBlockSize = 1 << 16;

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
};

}  // namespace asfinspect::io
