// Stored CP932 text to UTF-8 and back: the characters a Japanese picture's layer and mask
// names hold, the places where CP932 differs from plain Shift_JIS, and damaged bytes.
#include <gtest/gtest.h>

#include <string>

#include "platform/TextCodec.h"

namespace tintara {
namespace {

struct CodecCase {
  const char* name;
  std::string cp932;  // the stored bytes
  std::string utf8;
};

// Bytes from the CP932 code table, UTF-8 from the code points.
const CodecCase kCases[] = {
    {"empty", "", ""},
    {"ASCII", "Layer 1", "Layer 1"},
    {"katakana and a digit", "\x83\x8C\x83\x43\x83\x84\x31",
     "\xE3\x83\xAC\xE3\x82\xA4\xE3\x83\xA4\x31"},                                     // レイヤ1
    {"half-width katakana", "\xCF\xBD\xB8", "\xEF\xBE\x8F\xEF\xBD\xBD\xEF\xBD\xB8"},  // ﾏｽｸ
    {"kanji", "\x96\xBE\x93\x78", "\xE6\x98\x8E\xE5\xBA\xA6"},                        // 明度
    {"backslash stays a backslash", "C:\\x", "C:\\x"},                   // Shift_JIS reads a yen sign
    {"the range message's tilde", "\x81\x60", "\xEF\xBD\x9E"},           // U+FF5E, not U+301C
    {"a circled digit of the vendor rows", "\x87\x40", "\xE2\x91\xA0"},  // ①
    {"mixed",
     "A\x96\xBE"
     "1\xCF",
     "A\xE6\x98\x8E"
     "1\xEF\xBE\x8F"},
};

TEST(TextCodec, DecodesStoredBytesToUtf8) {
  for (const CodecCase& c : kCases) EXPECT_EQ(Cp932ToUtf8(c.cp932), c.utf8) << c.name;
}

TEST(TextCodec, EncodesUtf8ToStoredBytes) {
  for (const CodecCase& c : kCases) {
    const std::optional<std::string> got = Utf8ToCp932(c.utf8);
    ASSERT_TRUE(got.has_value()) << c.name;
    EXPECT_EQ(*got, c.cp932) << c.name;
  }
}

TEST(TextCodec, RoundTripGivesTheStoredBytesBack) {
  for (const CodecCase& c : kCases) {
    const std::optional<std::string> back = Utf8ToCp932(Cp932ToUtf8(c.cp932));
    ASSERT_TRUE(back.has_value()) << c.name;
    EXPECT_EQ(*back, c.cp932) << c.name;
  }
}

TEST(TextCodec, BytesThatAreNotCp932BecomeReplacementCharacters) {
  const std::string fffd = "\xEF\xBF\xBD";
  struct Case {
    const char* name;
    std::string cp932;
    std::string utf8;
  };
  const Case cases[] = {
      {"a lone lead byte", "\x83", fffd},
      {"a lead byte at the end", "ab\x96", "ab" + fffd},
      {"a lead byte before ASCII", "\x83 x", fffd + " x"},  // the space is a character of its own
      {"two lead bytes cut off", "\x96\xBE\x96", "\xE6\x98\x8E" + fffd},
      {"a byte that starts nothing",
       "\xA0"
       "a",
       fffd + "a"},
      {"damage between good text", "\x83\x8C\xFF\x83\x43", "\xE3\x83\xAC" + fffd + "\xE3\x82\xA4"},
  };
  for (const Case& c : cases) EXPECT_EQ(Cp932ToUtf8(c.cp932), c.utf8) << c.name;
}

TEST(TextCodec, RefusesTextThatCp932CannotHold) {
  struct Case {
    const char* name;
    std::string utf8;
  };
  const Case cases[] = {
      {"an emoji", "ok \xF0\x9F\x98\x80"},      {"a hangul syllable", "\xED\x95\x9C"},
      {"a byte that is not UTF-8", "a\xFF"},    {"a sequence cut off", "\xE3\x83"},
      {"an encoded surrogate", "\xED\xA0\x80"},
  };
  for (const Case& c : cases) EXPECT_FALSE(Utf8ToCp932(c.utf8).has_value()) << c.name;
}

}  // namespace
}  // namespace tintara
