#include "io/output.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <random>
#include <string>

using asfinspect::io::Output;

namespace {

std::string printed(void (*write)(Output&)) {
    auto out = Output::memory();
    write(out);
    return out.text_so_far();
}

std::string printf_g(double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%g", v);
    return buf;
}

std::string real(double v) {
    auto out = Output::memory();
    out.real(v);
    return out.text_so_far();
}

}  // namespace

TEST(Output, IntegersFollowTheStickyBase) {
    EXPECT_EQ(printed([](Output& o) { o.i32(255).text(" ").hex().i32(255).text(" ").u64(4096); }),
              "255 ff 1000");
    EXPECT_EQ(printed([](Output& o) { o.hex().i32(-1).text(" ").dec().i32(-1); }), "ffffffff -1");
    EXPECT_EQ(printed([](Output& o) {
                  o.i32(std::numeric_limits<std::int32_t>::min())
                      .text(" ")
                      .hex()
                      .i32(std::numeric_limits<std::int32_t>::min());
              }),
              "-2147483648 80000000");
    EXPECT_EQ(printed([](Output& o) {
                  o.i64(std::numeric_limits<std::int64_t>::min())
                      .text(" ")
                      .u64(std::numeric_limits<std::uint64_t>::max())
                      .text(" ")
                      .hex()
                      .i64(0x123456789a)
                      .text(" ")
                      .i64(-1);
              }),
              "-9223372036854775808 18446744073709551615 123456789a ffffffffffffffff");
    EXPECT_EQ(printed([](Output& o) { o.i32(0).hex().i32(0); }), "00");
}

TEST(Output, WidthAppliesToTheNextValueOnlyAndCountsTheSign) {
    EXPECT_EQ(printed([](Output& o) { o.fill('0').width(3).i32(5).text(" ").i32(5); }), "005 5");
    EXPECT_EQ(printed([](Output& o) { o.fill('0').width(3).i32(-5); }), "0-5");
    EXPECT_EQ(printed([](Output& o) { o.fill('0').width(3).i32(-500); }), "-500");
    EXPECT_EQ(printed([](Output& o) { o.hex().fill('0').width(2).u64(0xa).text(" ").u64(0xa); }),
              "0a a");
    EXPECT_EQ(printed([](Output& o) { o.width(4).i32(7); }), "   7");  // default fill is a space
}

TEST(Output, RealsPrintLikePrintfGWhateverTheBase) {
    EXPECT_EQ(real(4096), "4096");
    EXPECT_EQ(real(0.5), "0.5");
    EXPECT_EQ(real(2e6), "2e+06");
    EXPECT_EQ(real(12345678), "1.23457e+07");
    EXPECT_EQ(real(999999.5), "1e+06");
    EXPECT_EQ(real(123456.4), "123456");
    EXPECT_EQ(real(0.0001), "0.0001");
    EXPECT_EQ(real(0.00001), "1e-05");
    EXPECT_EQ(real(0), "0");
    EXPECT_EQ(real(-0.0), "-0");
    EXPECT_EQ(real(-1.5), "-1.5");
    EXPECT_EQ(real(std::numeric_limits<double>::infinity()), "inf");
    EXPECT_EQ(real(-std::numeric_limits<double>::infinity()), "-inf");
    EXPECT_EQ(real(std::numeric_limits<double>::quiet_NaN()), printf_g(NAN));
    EXPECT_EQ(real(-std::numeric_limits<double>::quiet_NaN()), printf_g(-NAN));
    EXPECT_EQ(printed([](Output& o) { o.hex().real(4096).text(" 0x").real(10); }), "4096 0x10");
}

TEST(Output, RealsMatchPrintfOnValuesTheDumpProduces) {
    // Milliseconds over 1000.0, 100-ns ticks over 1e7, and byte counts: the
    // values the dump prints as floats, with their rounding boundaries.
    std::mt19937_64 rng(42);
    for (int i = 0; i < 50000; ++i) {
        const auto raw = static_cast<std::int64_t>(rng());
        for (const double v :
             {static_cast<std::int32_t>(raw) / 1000.0, static_cast<std::int16_t>(raw) / 1000.0,
              raw / 10000000.0, static_cast<double>(raw >> (raw & 63)), static_cast<double>(raw)}) {
            ASSERT_EQ(real(v), printf_g(v)) << v;
        }
    }
}

TEST(Output, MemoryAndCountingSinksSeeEveryByte) {
    auto memory = Output::memory();
    auto counting = Output::counting();
    const std::string line(1000, 'x');
    for (int i = 0; i < 200; ++i) {  // well past one internal block
        memory.text(line).end_line();
        counting.text(line).end_line();
    }
    EXPECT_EQ(memory.text_so_far().size(), 200u * 1001u);
    EXPECT_EQ(counting.bytes_written(), 200u * 1001u);
    const std::string huge(200000, 'y');
    memory.text(huge);
    EXPECT_EQ(memory.text_so_far().size(), 200u * 1001u + huge.size());
}

TEST(Output, AFailedWriteIsReportedWithItsErrno) {
    std::FILE* full = std::fopen("/dev/full", "w");
    ASSERT_NE(full, nullptr);
    {
        Output out(fileno(full));
        out.text("hello").end_line();
        EXPECT_FALSE(out.flush());
        EXPECT_EQ(out.error(), ENOSPC);
        out.text("more").end_line();  // discarded, no second error
        EXPECT_FALSE(out.flush());
    }
    std::fclose(full);
}
