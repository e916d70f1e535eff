#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "platform/Clock.h"
#include "platform/Debug.h"
#include "platform/FileIO.h"
#include "platform/Memory.h"
#include "platform/Notify.h"
#include "platform/Strings.h"

namespace tintara {
namespace {

TEST(Notify, RecordingSinkCapturesWarningsAndAnswersQuestionsInOrder) {
  RecordingNotifySink sink;
  sink.answers = {ConfirmAnswer::Cancel, ConfirmAnswer::No};
  ShowWarning("メモリ不足のため実行できませんでした！");
  EXPECT_EQ(AskConfirm("q1", ConfirmButtons::OkCancel), ConfirmAnswer::Cancel);
  EXPECT_EQ(AskConfirm("q2", ConfirmButtons::YesNo), ConfirmAnswer::No);
  EXPECT_EQ(AskConfirm("q3", ConfirmButtons::YesNo), ConfirmAnswer::Ok);  // queue empty: default
  ASSERT_EQ(sink.warnings.size(), 1u);
  EXPECT_EQ(sink.warnings[0], kOutOfMemoryText);
  EXPECT_EQ(sink.questions, (std::vector<std::string>{"q1", "q2", "q3"}));
  {
    WaitCursor busy;
    EXPECT_EQ(sink.waitDepth, 1);
  }
  EXPECT_EQ(sink.waitDepth, 0);
  EXPECT_EQ(sink.waitCount, 1);
}

TEST(Notify, NestedSinksRestoreThePreviousOne) {
  RecordingNotifySink outer;
  {
    RecordingNotifySink inner;
    ShowWarning("inner");
    EXPECT_EQ(inner.warnings.size(), 1u);
  }
  ShowWarning("outer");
  ASSERT_EQ(outer.warnings.size(), 1u);
  EXPECT_EQ(outer.warnings[0], "outer");
}

TEST(Debug, CaptureCollectsMessagesVerbatim) {
  DebugCapture capture;
  DebugOut("failed to create eventMngr!");
  DebugOutF("%s: %d\n", "value", 42);
  ASSERT_EQ(capture.Lines().size(), 2u);
  EXPECT_TRUE(capture.Contains("failed to create eventMngr!"));
  EXPECT_EQ(capture.Lines()[1], "value: 42\n");
}

TEST(Clock, ManualClockIsInjectedAndRemoved) {
  {
    ManualClock clock;
    clock.ms = 1000;
    EXPECT_EQ(TimeGetTime(), 1000u);
    clock.Advance(30);
    EXPECT_EQ(TimeGetTime(), 1030u);
    clock.now.year = 2031;
    EXPECT_EQ(GetSystemTime().year, 2031);
  }
  // The system clock is back: its year is plausible.
  EXPECT_GE(GetSystemTime().year, 2024);
}

TEST(Memory, BlocksAreZeroedAndInjectedFailuresAreCounted) {
  MemPtr<uint8_t> a(static_cast<uint8_t*>(MemAlloc(1000)));
  ASSERT_TRUE(a);
  for (int i = 0; i < 1000; ++i) ASSERT_EQ(a.get()[i], 0);
  EXPECT_EQ(MemAlloc(0), nullptr);
  EXPECT_EQ(MemAlloc(kMaxBlockBytes + 1), nullptr);
  {
    ScopedAllocFailure fail(1);
    MemPtr<uint8_t> ok(static_cast<uint8_t*>(MemAlloc(16)));
    MemPtr<uint8_t> no(static_cast<uint8_t*>(MemAlloc(16)));
    EXPECT_TRUE(ok);
    EXPECT_FALSE(no);
    EXPECT_EQ(fail.FailedCount(), 1);
  }
  MemPtr<uint8_t> after(static_cast<uint8_t*>(MemAlloc(16)));
  EXPECT_TRUE(after);
}

TEST(Memory, ReallocZeroesTheGrownTailAndKeepsTheBlockOnFailure) {
  auto* p = static_cast<uint8_t*>(MemAlloc(4));
  ASSERT_NE(p, nullptr);
  p[0] = 7;
  {
    ScopedAllocFailure fail(0);
    EXPECT_EQ(MemRealloc(p, 4, 64), nullptr);
  }
  EXPECT_EQ(p[0], 7);  // untouched
  auto* q = static_cast<uint8_t*>(MemRealloc(p, 4, 64));
  ASSERT_NE(q, nullptr);
  EXPECT_EQ(q[0], 7);
  for (int i = 4; i < 64; ++i) EXPECT_EQ(q[i], 0);
  MemFree(q);
}

TEST(Memory, CheckedBytesRefusesOverflowAndLimit) {
  size_t out = 0;
  EXPECT_TRUE(CheckedBytes(1000, 1000, 4, 1u << 31, &out));
  EXPECT_EQ(out, 4000000u);
  EXPECT_FALSE(CheckedBytes(UINT64_MAX, 2, UINT64_MAX, &out));
  EXPECT_FALSE(CheckedBytes(65536, 65536, 4, 1u << 31, &out));
}

TEST(FileIO, AtomicWriteReplacesTheFileAndLeavesNoTemporary) {
  const auto dir = std::filesystem::temp_directory_path() / ("tintara-fileio-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  const std::string path = (dir / "a.bin").string();
  const uint8_t first[] = {1, 2, 3};
  const uint8_t second[] = {9, 8};
  ASSERT_TRUE(WriteFileAtomic(path, first, sizeof first));
  ASSERT_TRUE(WriteFileAtomic(path, second, sizeof second));
  std::vector<uint8_t> back;
  ASSERT_TRUE(ReadWholeFile(path, back));
  EXPECT_EQ(back, (std::vector<uint8_t>{9, 8}));
  int files = 0;
  for (auto& e : std::filesystem::directory_iterator(dir)) (void)e, ++files;
  EXPECT_EQ(files, 1);
  EXPECT_FALSE(WriteFileAtomic((dir / "missing" / "x.bin").string(), first, 3));
  EXPECT_FALSE(ReadWholeFile((dir / "nope").string(), back));
  std::filesystem::remove_all(dir);
}

TEST(Strings, BuiltInTextsAndOverridesFromAFile) {
  EXPECT_EQ(ResString(65281), "レイヤ");
  EXPECT_EQ(ResString(65177), "標準");
  EXPECT_EQ(ResString(1), "");
  const auto path = std::filesystem::temp_directory_path() / ("tintara-strings-" + std::to_string(getpid()));
  {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fputs("65281\tLayer\r\n", f);   // CRLF line ends are fine
    std::fputs("12\tTwo\\rlines\n", f);  // \r in the text is a line break
    std::fputs("not a line\n", f);
    std::fputs("7x\tbad id\n", f);
    std::fclose(f);
  }
  EXPECT_EQ(LoadStringOverrides(path.string()), 2);
  EXPECT_EQ(ResString(65281), "Layer");
  EXPECT_EQ(ResString(12), "Two\rlines");
  EXPECT_EQ(ResString(65177), "標準");  // not overridden
  ClearStringOverrides();
  EXPECT_EQ(ResString(65281), "レイヤ");
  EXPECT_EQ(LoadStringOverrides((path.string() + ".missing")), -1);
  std::filesystem::remove(path);
}

}  // namespace
}  // namespace tintara
