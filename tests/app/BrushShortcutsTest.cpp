// The brush window's shortcut slots as the profile keeps them.
#include <gtest/gtest.h>

#include "app/BrushShortcuts.h"
#include "paint/PenMethod.h"

namespace tintara {
namespace {

TEST(BrushShortcuts, WrittenAsNameAndIndexAndFoundAgain) {
  CPenMethodMngr brushes;
  brushes.FillDefault();
  ASSERT_GE(brushes.Count(), 4);
  const std::string second = brushes.At(2)->Caption();
  EXPECT_EQ(FormatBrushShortcut(3, -1, brushes), "3");  // empty: the slot number
  EXPECT_EQ(FormatBrushShortcut(0, 2, brushes), second + ",2");
  // A brush renamed with a comma in its name still reads back.
  brushes.At(3)->name = "a,b";
  EXPECT_EQ(FormatBrushShortcut(1, 3, brushes), "a,b,3");
  struct Case {
    std::string text;
    int32_t brush;
  };
  const Case cases[] = {
      {second + ",2", 2},   // the index still holds it
      {second + ",0", 2},   // moved: found by its caption
      {"a,b,3", 3},         // the last comma parts the number
      {"a,b,9", 3},         // an index past the list: by caption
      {"gone,1", -1},       // no such brush any more
      {"4", -1},            // an empty slot
      {second + ",-1", 2},  // a negative index: by caption
      {"", -1},
  };
  for (const Case& c : cases) EXPECT_EQ(ResolveBrushShortcut(c.text, brushes), c.brush) << c.text;
}

}  // namespace
}  // namespace tintara
