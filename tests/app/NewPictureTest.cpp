#include <gtest/gtest.h>

#include "app/NewPicture.h"

namespace tintara {
namespace {

TEST(NewPicture, ValidationMessagesInOrder) {
  struct Case {
    const char *w, *h, *r;
    SizeUnit unit;
    const char* message;  // nullptr: accepted
  };
  const Case kCases[] = {
      {"", "100", "72", SizeUnit::kPixel, "幅が必要です！"},
      {"100", " ", "72", SizeUnit::kPixel, "高さが必要です！"},
      {"100", "100", "", SizeUnit::kPixel, "解像度が必要です！"},
      {"", "", "", SizeUnit::kPixel, "幅が必要です！"},
      {"7", "100", "72", SizeUnit::kPixel, "幅(7) は 8 ～ 10000 にしてください！"},
      {"100", "10001", "72", SizeUnit::kPixel, "高さ(10001) は 8 ～ 10000 にしてください！"},
      {"8", "10000", "71", SizeUnit::kPixel, "解像度は 72 ～ 600 にしてください！"},
      {"8", "10000", "601", SizeUnit::kPixel, "解像度は 72 ～ 600 にしてください！"},
      {"2", "3", "300", SizeUnit::kInch, nullptr},  // 600 x 900
      {"0.02", "3", "300", SizeUnit::kInch, "幅(6) は 8 ～ 10000 にしてください！"},
      {"2.54", "25.4", "100", SizeUnit::kCm, nullptr},  // 100 x 1000
      {"abc", "100", "72", SizeUnit::kPixel, "不正な文字により数値を読みとれません！"},
      {"8", "10000", "72", SizeUnit::kPixel, nullptr},
  };
  for (const auto& c : kCases) {
    NewPictureValues v;
    const auto msg = ValidateNewPicture(c.w, c.h, c.r, c.unit, v);
    if (c.message) {
      ASSERT_TRUE(msg.has_value()) << c.w << " " << c.h << " " << c.r;
      EXPECT_EQ(*msg, c.message);
    } else {
      EXPECT_FALSE(msg.has_value()) << *msg;
    }
  }
  NewPictureValues v;
  ASSERT_FALSE(ValidateNewPicture("2", "3", "300", SizeUnit::kInch, v));
  EXPECT_EQ(v.width, 600);
  EXPECT_EQ(v.height, 900);
  EXPECT_EQ(v.dpi, 300);
}

TEST(NewPicture, UnitsConvertAndRoundToEvenSizes) {
  EXPECT_EQ(ToPixels(3, SizeUnit::kInch, 72), 216);
  EXPECT_EQ(ToPixels(1, SizeUnit::kCm, 254), 100);
  EXPECT_EQ(ToPixels(0.5, SizeUnit::kPixel, 72), 0);  // ties to even
  EXPECT_EQ(ToPixels(1.5, SizeUnit::kPixel, 72), 2);
  double w = 101, h = 50;
  ChangeUnit(w, h, SizeUnit::kPixel, SizeUnit::kInch, 100);  // 101 -> 102 pixels first
  EXPECT_DOUBLE_EQ(w, 1.02);
  EXPECT_DOUBLE_EQ(h, 0.5);
  EXPECT_EQ(FormatSize(w, SizeUnit::kInch), "1.02");
  EXPECT_EQ(FormatSize(0.5, SizeUnit::kCm), "0.50");
  EXPECT_EQ(FormatSize(102, SizeUnit::kPixel), "102");
  ChangeUnit(w, h, SizeUnit::kInch, SizeUnit::kPixel, 100);
  EXPECT_DOUBLE_EQ(w, 102);
  EXPECT_DOUBLE_EQ(h, 50);
}

TEST(NewPicture, TypingChecksAndTitles) {
  EXPECT_FALSE(CheckTypedValue("12", SizeUnit::kPixel));
  EXPECT_FALSE(CheckTypedValue("", SizeUnit::kInch));
  EXPECT_EQ(*CheckTypedValue("1x", SizeUnit::kInch), "不正な文字により数値を読みとれません！");
  EXPECT_EQ(*CheckTypedValue("-2", SizeUnit::kCm), "正の数値を入力して下さい！");
  const std::string a = NextDefaultTitle(), b = NextDefaultTitle();
  EXPECT_EQ(a.rfind("无标题-", 0), 0u);
  EXPECT_NE(a, b);
}

}  // namespace
}  // namespace tintara
