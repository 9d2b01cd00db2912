// The buffered paths of Output and FileReader against simple references:
// numbers and byte dumps written straight into Output's block, and reads
// served from FileReader's cached block, at and across the block edges.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "asf_writer.hpp"
#include "io/file_reader.hpp"
#include "io/output.hpp"

using asfinspect::io::FileReader;
using asfinspect::io::Output;

namespace {

// printf's rendering of a value, then padded on the left to `width` with `fill`.
std::string padded(std::string s, int width, char fill) {
    if (width > 0 && static_cast<std::size_t>(width) > s.size())
        s.insert(0, static_cast<std::size_t>(width) - s.size(), fill);
    return s;
}

std::string printf_string(const char* format, auto value) {
    char buf[64];
    std::snprintf(buf, sizeof buf, format, value);
    return buf;
}

// Compares long texts by their first difference; gtest's own diff of
// megabyte strings takes too long.
::testing::AssertionResult same_text(const std::string& got, const std::string& want) {
    const auto diff = std::mismatch(got.begin(), got.end(), want.begin(), want.end());
    if (diff.first == got.end() && diff.second == want.end())
        return ::testing::AssertionSuccess();
    const auto at = static_cast<std::size_t>(diff.first - got.begin());
    const std::size_t from = at > 40 ? at - 40 : 0;
    return ::testing::AssertionFailure()
           << "texts differ at byte " << at << " of " << got.size() << " / " << want.size()
           << ":\n got: " << got.substr(from, 80) << "\nwant: " << want.substr(from, 80);
}

// Applies a random operation to `out` and appends what it must print to `expected`.
class RandomWriter {
  public:
    explicit RandomWriter(std::uint64_t seed) : rng_(seed) {}

    void step(Output& out, std::string& expected) {
        const int width = pick(4) == 0 ? static_cast<int>(pick(12)) : 0;
        const char fill = pick(2) == 0 ? '0' : '*';
        const bool hex = pick(2) == 0;
        out.set_base(hex ? Output::Base::hexadecimal : Output::Base::decimal);
        out.width(width).fill(fill);
        const std::uint64_t raw = rng_() >> pick(64);
        switch (pick(7)) {
            case 0: {
                const auto v = static_cast<std::int32_t>(raw);
                out.i32(v);
                expected += padded(hex ? printf_string("%" PRIx32, static_cast<std::uint32_t>(v))
                                       : printf_string("%" PRId32, v),
                                   width, fill);
                break;
            }
            case 1: {
                const auto v = static_cast<std::int64_t>(raw);
                out.i64(v);
                expected += padded(hex ? printf_string("%" PRIx64, static_cast<std::uint64_t>(v))
                                       : printf_string("%" PRId64, v),
                                   width, fill);
                break;
            }
            case 2:
                out.u64(raw);
                expected += padded(printf_string(hex ? "%" PRIx64 : "%" PRIu64, raw), width, fill);
                break;
            case 3: {
                const double v = static_cast<std::int32_t>(raw) / 1000.0;
                out.real(v);
                expected += padded(printf_string("%g", v), width, fill);
                break;
            }
            case 4: {
                std::vector<std::uint8_t> bytes(pick(40));
                for (auto& b : bytes)
                    b = static_cast<std::uint8_t>(rng_());
                out.hex_bytes(bytes);
                for (const auto b : bytes)
                    expected += printf_string("%02x ", static_cast<unsigned>(b));
                break;
            }
            case 5: {
                // Now and then longer than a whole block.
                const std::string s(pick(300) == 0 ? 70000 + pick(70000) : pick(30),
                                    static_cast<char>('a' + pick(26)));
                out.text(s);
                expected += s;
                break;
            }
            default:
                out.end_line();
                expected += '\n';
                break;
        }
        // A width left unused by text and line ends must not leak into the next value.
        out.width(0);
    }

  private:
    std::uint32_t pick(std::uint32_t n) { return static_cast<std::uint32_t>(rng_() % n); }
    std::mt19937_64 rng_;
};

TEST(OutputBuffering, RandomMixedWritesMatchPrintfAcrossBlockEdges) {
    for (const std::uint64_t seed : {1u, 2u, 3u}) {
        auto memory = Output::memory();
        asftest::TempFile file;
        std::string expected;
        {
            const int fd = ::open(file.path().c_str(), O_WRONLY | O_TRUNC);
            ASSERT_GE(fd, 0);
            Output to_file(fd);
            RandomWriter a(seed), b(seed);
            std::string unused;
            for (int i = 0; i < 60'000; ++i) {
                a.step(memory, expected);
                b.step(to_file, unused);
            }
            ASSERT_TRUE(to_file.flush());
            ::close(fd);
        }
        ASSERT_TRUE(same_text(memory.text_so_far(), expected)) << "seed " << seed;
        std::FILE* f = std::fopen(file.path().c_str(), "rb");
        ASSERT_NE(f, nullptr);
        std::string written(expected.size() + 1, '\0');
        written.resize(std::fread(written.data(), 1, written.size(), f));
        std::fclose(f);
        EXPECT_TRUE(same_text(written, expected)) << "seed " << seed;
    }
}

TEST(OutputBuffering, NumbersAtEveryDigitCountBoundary) {
    auto out = Output::memory();
    std::string expected;
    for (std::uint64_t p = 1, k = 0; k < 20; ++k, p *= 10) {
        for (const std::uint64_t v : {p - 1, p, p + 1}) {
            out.u64(v).text(" ");
            expected += printf_string("%" PRIu64 " ", v);
            const auto negative = -static_cast<std::int64_t>(v & 0x7fffffffffffffff);
            out.i64(negative).text(" ");
            expected += printf_string("%" PRId64 " ", negative);
        }
    }
    out.hex();
    for (int k = 0; k < 16; ++k) {
        const std::uint64_t p = std::uint64_t{1} << (4 * k);
        for (const std::uint64_t v : {p - 1, p, p + 1}) {
            out.u64(v).text(" ");
            expected += printf_string("%" PRIx64 " ", v);
        }
    }
    EXPECT_EQ(out.text_so_far(), expected);
}

TEST(OutputBuffering, WidthWiderThanABlockIsFilledNotOverrun) {
    auto out = Output::memory();
    out.text("x").fill('0').width(200'000).i32(-5).text(" ").width(150'000).real(0.5);
    EXPECT_TRUE(same_text(out.text_so_far(), "x" + std::string(199'998, '0') + "-5 " +
                                                 std::string(149'997, '0') + "0.5"));
}

std::string reals(const std::vector<double>& values) {
    auto out = Output::memory();
    for (const double v : values)
        out.real(v).end_line();
    return out.text_so_far();
}

std::string printf_reals(const std::vector<double>& values) {
    std::string s;
    for (const double v : values)
        s += printf_string("%g", v) + "\n";
    return s;
}

TEST(OutputBuffering, MillisecondsAsSecondsMatchPrintfIncludingTiesAndCarries) {
    std::vector<double> values;
    for (std::int64_t ms = -200'000; ms <= 200'000; ++ms)
        values.push_back(static_cast<double>(ms) / 1000.0);
    // Around the rounding of the sixth digit: exact halves (1234565 -> 1234.565),
    // carries into a new digit (999999.6 -> 1e+06) and the switch to exponents.
    for (const std::int64_t base :
         std::vector<std::int64_t>{1'234'565, 999'999'500, 99'999'950, 9'999'995, 1'000'000'000,
                                   2'147'483'647, 123'456'789'000}) {
        for (std::int64_t d = -700; d <= 700; ++d) {
            values.push_back(static_cast<double>(base + d) / 1000.0);
            values.push_back(static_cast<double>(-(base + d)) / 1000.0);
            values.push_back(static_cast<double>(base + d));
        }
    }
    std::mt19937_64 rng(11);
    for (int i = 0; i < 200'000; ++i) {
        const auto raw = rng();
        values.push_back(static_cast<std::int32_t>(raw) / 1000.0);
        values.push_back(static_cast<double>(raw % 4'000'000'000'000) - 2e12);
    }
    EXPECT_TRUE(same_text(reals(values), printf_reals(values)));
}

TEST(OutputBuffering, HexBytesShowEveryValueAndCrossBlocks) {
    std::vector<std::uint8_t> bytes(100'000);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 7 + i / 256);
    auto out = Output::memory();
    out.text("x").hex_bytes(bytes).dec().u64(10);
    std::string expected = "x";
    for (const auto b : bytes)
        expected += printf_string("%02x ", static_cast<unsigned>(b));
    EXPECT_TRUE(same_text(out.text_so_far(), expected + "10"));
}

TEST(ReaderBuffering, RandomReadsMatchTheFileWithZerosOutside) {
    constexpr std::size_t kSize = 300'000;  // several cached blocks
    asftest::Bytes content(kSize);
    std::mt19937_64 rng(5);
    for (auto& b : content)
        b = static_cast<std::uint8_t>(rng());
    asftest::TempFile file(content);
    const int fd = ::open(file.path().c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    FileReader reader(fd, kSize);
    // A second reader of blocks that are few and small, so that reads cross
    // them and their places are taken by others.
    FileReader second(reader, 1000, 7);
    for (int i = 0; i < 20'000; ++i) {
        const std::int64_t offset = static_cast<std::int64_t>(rng() % (kSize + 200)) - 100;
        std::vector<std::uint8_t> dst(rng() % 3 == 0 ? rng() % 40'000 : rng() % 64, 0xee);
        const std::size_t got = (i % 2 == 0 ? reader : second).read_at(offset, dst);
        std::vector<std::uint8_t> expected(dst.size(), 0);
        std::size_t inside = 0;
        for (std::size_t j = 0; j < dst.size(); ++j) {
            const std::int64_t at = offset + static_cast<std::int64_t>(j);
            if (at >= 0 && at < static_cast<std::int64_t>(kSize)) {
                expected[j] = content[static_cast<std::size_t>(at)];
                ++inside;
            }
        }
        ASSERT_EQ(dst, expected) << "read of " << dst.size() << " at " << offset;
        ASSERT_EQ(got, inside);
    }
    ::close(fd);
}

TEST(ReaderBuffering, BytesAppendedAfterOpeningReadAsZeros) {
    const asftest::Bytes content(1000, 0x11);
    asftest::TempFile file(content);
    const int fd = ::open(file.path().c_str(), O_RDWR);
    ASSERT_GE(fd, 0);
    FileReader reader(fd, 1000);
    const std::vector<std::uint8_t> more(5000, 0x22);
    ASSERT_EQ(::pwrite(fd, more.data(), more.size(), 1000), 5000);
    std::array<std::uint8_t, 32> head{};
    reader.read_at(900, head);  // loads a block that could reach past byte 1000
    std::array<std::uint8_t, 32> tail{};
    EXPECT_EQ(reader.read_at(990, tail), 10u);
    for (std::size_t i = 0; i < tail.size(); ++i)
        EXPECT_EQ(tail[i], i < 10 ? 0x11 : 0) << i;
    ::close(fd);
}

// The file is cut at 1000 bytes after it was opened at 100000: a read of the
// missing bytes, through the block or past it or by a second reader, is a
// change, not zeros.
ssize_t cut_at_1000(int fd, void* buf, std::size_t n, off_t offset) {
    return offset >= 1000 ? 0 : ::pread(fd, buf, std::min<std::size_t>(n, 1000 - offset), offset);
}

TEST(ReaderBuffering, FileShrunkAfterOpeningIsAChangeNotZeros) {
    asftest::TempFile file(asftest::Bytes(100'000, 0x11));
    const int fd = ::open(file.path().c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    for (const std::size_t n : {std::size_t{16}, std::size_t{40'000}}) {
        SCOPED_TRACE(n);
        FileReader reader(fd, 100'000, cut_at_1000);
        std::vector<std::uint8_t> dst(n);
        reader.read_at(0, std::span(dst).first(16));
        EXPECT_FALSE(reader.failed());  // the block ends early, but nothing missing was asked for
        reader.read_at(990, dst);
        EXPECT_TRUE(reader.changed());
        EXPECT_TRUE(reader.failed());
        EXPECT_EQ(reader.error(), 0);

        FileReader first(fd, 100'000, cut_at_1000);
        FileReader second(first, 4096, 2);
        second.read_at(990, dst);
        EXPECT_TRUE(second.changed());
        EXPECT_TRUE(first.changed());
    }
    ::close(fd);
}

}  // namespace
