// The JSON writer: commas and nesting kept by the writer, escaping of any
// bytes, and a nesting deeper than its bound.

#include "io/json_writer.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>

#include "io/output.hpp"
#include "json_check.hpp"

using asfinspect::io::JsonWriter;
using asfinspect::io::Output;

namespace {

std::string written(const std::function<void(JsonWriter&)>& write) {
    auto out = Output::memory();
    JsonWriter json(out);
    write(json);
    return out.text_so_far();
}

// A bool member takes a bool only: text or a number would pass for one.
template <typename T>
concept TakenAsBool = requires(JsonWriter& json, T v) {
    json.member_bool("k", v);
};
static_assert(TakenAsBool<bool> && !TakenAsBool<const char*> && !TakenAsBool<int>);

}  // namespace

TEST(JsonWriter, PutsCommasAndLineBreaksBetweenValues) {
    struct Case {
        const char* expected;
        std::function<void(JsonWriter&)> write;
    };
    const Case cases[] = {
        {"{}", [](JsonWriter& j) { j.begin_object().end_object(); }},
        {"[[],{},[1]]",
         [](JsonWriter& j) {
             j.begin_array().begin_array().end_array().begin_object().end_object();
             j.begin_array().number(1u).end_array().end_array();
         }},
        {R"({"a":1,"b":-2,"c":true,"d":null,"e":"x","f":3.1,"g":{"h":[false,0]}})",
         [](JsonWriter& j) {
             j.begin_object().member_number("a", 1u).member_signed("b", -2);
             j.member_bool("c", true).member_null("d").member_string("e", "x");
             j.member_raw("f", "3.1").key("g").begin_object().key("h").begin_array();
             j.boolean(false).raw_with([](Output& o) { o.number(0); });
             j.end_array().end_object().end_object();
         }},
        {R"({"time_ms":18446744073709551615,"min":-9223372036854775808})",
         [](JsonWriter& j) {
             j.begin_object().key("time", "_ms").number(UINT64_MAX);
             j.member_signed("min", INT64_MIN).end_object();
         }},
        // Names as template arguments, their keys made when compiled.
        {R"({"a":1,"b":-2,"c":false,"d":[]})",
         [](JsonWriter& j) {
             j.begin_object().member_number<"a">(1u).member_signed<"b">(-2);
             j.member_bool<"c">(false).key<"d">().begin_array().end_array().end_object();
         }},
        // An item a line; the break before the end only when asked for.
        {"[\n1,\n2\n]",
         [](JsonWriter& j) {
             j.begin_array().line_break().number(1u).line_break().number(2u);
             j.line_break().end_array();
         }},
        {"[\n{\"a\":[]}]",
         [](JsonWriter& j) {
             j.begin_array().line_break().begin_object().key("a").begin_array();
             j.end_array().end_object().end_array();
         }},
        // A document ends with a newline and the next one starts afresh;
        // an end with nothing open is ignored.
        {"{}\n[]\n",
         [](JsonWriter& j) {
             j.begin_object().end_object().end_document().end_array();
             j.begin_array().end_array().end_document();
         }},
    };
    for (const Case& c : cases)
        EXPECT_EQ(written(c.write), c.expected);
}

TEST(JsonWriter, EscapesKeysAndStringsAndReplacesInvalidUtf8) {
    struct Case {
        std::string text;
        std::string expected;  // between the quotes
    };
    const Case cases[] = {
        {"plain text, \x7f and / as they are", "plain text, \x7f and / as they are"},
        {"\"q\" \\ \n\r\t", "\\\"q\\\" \\\\ \\n\\r\\t"},
        {std::string("\0\x01\x1f", 3), "\\u0000\\u0001\\u001f"},
        {"\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80", "\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80"},
        // A continuation byte alone, overlong forms, a surrogate, a code
        // point past U+10FFFF, a sequence cut by the end.
        {"a\x80z", "a\xef\xbf\xbdz"},
        {"\xc0\xaf \xe0\x80\xaf", "\xef\xbf\xbd\xef\xbf\xbd \xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd"},
        {"\xed\xa0\x80", "\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd"},
        {"\xf4\x90\x80\x80", "\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd"},
        {"abc\xe2\x82", "abc\xef\xbf\xbd\xef\xbf\xbd"},
        // Text is checked eight bytes at a time: a byte to escape in each
        // place of a word, and in the last bytes, read again.
        {"0123456\"89abcdef\n", "0123456\\\"89abcdef\\n"},
        {"01234567\x01", "01234567\\u0001"},
        {"0123456789\\", "0123456789\\\\"},
        {"\xff"
         "1234567890",
         "\xef\xbf\xbd"
         "1234567890"},
    };
    for (const Case& c : cases) {
        const std::string quoted = "\"" + c.expected + "\"";
        EXPECT_EQ(written([&](JsonWriter& j) { j.string(c.text); }), quoted) << c.text;
        // A key read from a file, and one written in the program.
        EXPECT_EQ(written([&](JsonWriter& j) { j.begin_object().key(c.text).null().end_object(); }),
                  "{" + quoted + ":null}")
            << c.text;
    }
    EXPECT_EQ(
        written([](JsonWriter& j) { j.begin_object().key("a\"b", "\n").null().end_object(); }),
        R"({"a\"b\n":null})");
}

TEST(JsonWriter, NestingPastItsBoundIsNullAndTheDocumentStaysValid) {
    const std::string text = written([](JsonWriter& j) {
        j.begin_array();
        for (std::size_t i = 0; i < JsonWriter::kMaxDepth + 5; ++i) {
            j.begin_object().member_number<"n">(i).key("k").begin_array().string("deep");
            j.line_break();
        }
        for (std::size_t i = 0; i < JsonWriter::kMaxDepth + 5; ++i)
            j.line_break().end_array().end_object();
        EXPECT_EQ(j.depth(), 1u);
        j.number(7u).end_array().end_document();
    });
    EXPECT_TRUE(asftest::valid_json(text)) << text;
    // The last container written holds null in place of the one too deep.
    EXPECT_NE(text.find(",\n{\"n\":31,\"k\":null}"), std::string::npos) << text;
    EXPECT_EQ(text.substr(text.size() - 4), ",7]\n");
}
