#include "support/KVCharConvert.h"

#include <cstring>
#include <gtest/gtest.h>
#include <string>

namespace Korvel {
namespace {

// The Unicode standard's example of the encoding forms: U+004D U+0430 U+4E8C U+10302.
const char kSampleUtf8[] = "\x4D\xD0\xB0\xE4\xBA\x8C\xF0\x90\x8C\x82";
const char16_t kSampleUtf16[] = {0x004D, 0x0430, 0x4E8C, 0xD800, 0xDF02, 0};

// Runs a range converter over `in` into `room` units; gives the result, output and units read.
template <typename Out, typename In, typename Convert>
auto run(Convert convert, std::basic_string_view<In> in, std::size_t room,
         KVConversionFlags flags = KV_STRICT_CONVERSION) {
    std::basic_string<Out> out(room, Out());
    const In* source = in.data();
    Out* target = out.data();
    KVConversionResult r = convert(source, in.data() + in.size(), target, out.data() + room, flags);
    out.resize(static_cast<std::size_t>(target - out.data()));
    return std::make_tuple(r, out, static_cast<std::size_t>(source - in.data()));
}
auto to8(std::u16string_view in, std::size_t room, KVConversionFlags f = KV_STRICT_CONVERSION) {
    return run<char, char16_t>(convertUTF16toUTF8, in, room, f);
}
auto to16(std::string_view in, std::size_t room) {
    return run<char16_t, char>(convertUTF8toUTF16, in, room);
}

TEST(CharConvertRanges, EncodeAndDecodeTheStandardsExample) {
    EXPECT_EQ(to8(kSampleUtf16, 16),
              std::make_tuple(KV_CONVERSION_OK, std::string(kSampleUtf8), 5u));
    EXPECT_EQ(to16(kSampleUtf8, 16),
              std::make_tuple(KV_CONVERSION_OK, std::u16string(kSampleUtf16), 10u));
    // Too little room for the four-byte character, or for its surrogate pair: stop before it.
    EXPECT_EQ(to8(kSampleUtf16, 9),
              std::make_tuple(KV_TARGET_EXHAUSTED, std::string("\x4D\xD0\xB0\xE4\xBA\x8C"), 3u));
    EXPECT_EQ(std::get<0>(to16(kSampleUtf8, 4)), KV_TARGET_EXHAUSTED);
    EXPECT_EQ(std::get<2>(to16(kSampleUtf8, 4)), 6u);
}

TEST(CharConvertRanges, Utf16SurrogateHandling) {
    const char16_t text[] = {u'a', 0xD800, u'b', 0xDC00};
    // A high surrogate at the very end is cut off, even in lenient mode.
    EXPECT_EQ(to8({text, 2}, 8, KV_LENIENT_CONVERSION),
              std::make_tuple(KV_SOURCE_EXHAUSTED, std::string("a"), 1u));
    EXPECT_EQ(std::get<2>(to8({text, 4}, 16)), 1u);
    EXPECT_EQ(to8({text + 2, 2}, 16), std::make_tuple(KV_SOURCE_ILLEGAL, std::string("b"), 1u));
    EXPECT_EQ(std::get<1>(to8({text, 4}, 16, KV_LENIENT_CONVERSION)), "a\xED\xA0\x80"
                                                                      "b\xED\xB0\x80");
}

TEST(CharConvertRanges, Utf8IllFormedAndCutOffSequences) {
    for (const char* bad :
         {"\x80", "\xC0\xAF", "\xC1\xBF", "\xE0\x80\xAF", "\xED\xA0\x80", "\xF0\x80\x80\xAF",
          "\xF4\x90\x80\x80", "\xF5\x80\x80\x80", "\xC3\x28", "\xF8\x88\x80\x80\x80"}) {
        EXPECT_EQ(to16(std::string("ok") + bad, 16),
                  std::make_tuple(KV_SOURCE_ILLEGAL, std::u16string(u"ok"), 2u))
            << bad;
    }
    for (const char* cut : {"ok\xE2\x82", "ok\xF0", "ok\xFF"})
        EXPECT_EQ(to16(cut, 16), std::make_tuple(KV_SOURCE_EXHAUSTED, std::u16string(u"ok"), 2u));
}

TEST(CharConvertStrings, WholeStringsStopAtBadInput) {
    EXPECT_EQ(utf16ToUtf8(nullptr), nullptr);
    EXPECT_EQ(utf8ToAnsi(nullptr), nullptr);
    EXPECT_STREQ(utf16ToUtf8(kSampleUtf16).get(), kSampleUtf8);
    EXPECT_EQ(std::u16string(utf8ToUtf16(kSampleUtf8).get()), kSampleUtf16);
    // A name cut off inside a sequence: what came before, then zeros.
    auto cut = utf8ToUtf16("ab\xE2\x82");
    const char16_t expected[5] = {u'a', u'b', 0, 0, 0};
    EXPECT_EQ(std::memcmp(cut.get(), expected, sizeof expected), 0);
    const char16_t loneHigh[] = {u'x', 0xD83D, u'y', 0};
    EXPECT_STREQ(utf16ToUtf8(loneHigh).get(), "x");
}

TEST(CharConvertStrings, ActiveCodePageIsWindows1252) {
    EXPECT_STREQ(ansiToUtf8("caf\xE9\x80").get(), "caf\xC3\xA9\xE2\x82\xAC");
    EXPECT_STREQ(ansiToUtf8("\x9F\x81").get(), "\xC5\xB8\xC2\x81"); // 0x81 is unassigned
    EXPECT_STREQ(utf8ToAnsi("\xE2\x80\x9C"
                            "a\xE2\x80\x9D")
                     .get(),
                 "\x93"
                 "a\x94");
    // No code in the page: the default character, one per character.
    EXPECT_STREQ(utf8ToAnsi("\xE4\xBA\x8C\xF0\x9F\x98\x80!").get(), "?"
                                                                    "?!");
    std::string all;
    for (int b = 1; b < 256; ++b)
        all += static_cast<char>(b);
    EXPECT_EQ(std::string(utf8ToAnsi(ansiToUtf8(all.c_str()).get()).get()), all);
}

} // namespace
} // namespace Korvel
