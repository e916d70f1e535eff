#include <gtest/gtest.h>

#include <filesystem>

#include "app/Batch.h"
#include "app/CommandLine.h"
#include "pixel/Bmp.h"
#include "platform/FileIO.h"
#include "platform/Notify.h"

namespace tintara {
namespace {

struct LineCase {
  std::vector<std::string> args;
  bool batch, viewer;
  std::string outputDir;
  int64_t notify;
  int32_t wait;
  std::vector<std::string> files;
  std::vector<std::string> warnings;
};

TEST(CommandLine, SwitchesAndFiles) {
  const std::string unknownW = "unknown command line switch!\r    arg = -Wabc";
  const LineCase cases[] = {
      {{"a.te4", "b.tci"}, false, false, "", 0, 0, {"a.te4", "b.tci"}, {}},
      {{"-RENDER", "x.te4", "-O/tmp/out"}, true, false, "/tmp/out", 0, 0, {"x.te4"}, {}},
      // The later of render and viewer wins; letters are tested only after the whole words.
      {{"-render", "-Viewer", "-t3", "-w1234"}, true, true, "", 1234, 3, {}, {}},
      {{"-viewer", "-render"}, true, false, "", 0, 0, {}, {}},
      // "-Output" is the O switch with the folder "utput".
      {{"-Output"}, false, false, "utput", 0, 0, {}, {}},
      {{"-x", "-Wabc", "-", "f"},
       false,
       false,
       "",
       0,
       0,
       {"f"},
       {"unknown command line switch!\r    arg = -x", unknownW, "unknown command line switch!\r    arg = -"}},
      // A slash begins a path here, not a switch.
      {{"/home/u/pic.tci"}, false, false, "", 0, 0, {"/home/u/pic.tci"}, {}},
  };
  for (const LineCase& c : cases) {
    RecordingNotifySink notes;
    const StartupOptions o = ParseCommandLine(c.args);
    SCOPED_TRACE(c.args.front());
    EXPECT_EQ(o.batch, c.batch);
    EXPECT_EQ(o.viewer, c.viewer);
    EXPECT_EQ(o.outputDir, c.outputDir);
    EXPECT_EQ(o.notifyWindow, c.notify);
    EXPECT_EQ(o.waitSeconds, c.wait);
    EXPECT_EQ(o.files, c.files);
    EXPECT_EQ(notes.warnings, c.warnings);
  }
}

int32_t slept = -1;
void FakeSleep(int32_t s) { slept = s; }

TEST(Batch, OnlyTheFirstFileIsRunAndAViewerWaitsBeforeItReports) {
  char tmpl[] = "/tmp/tintara-batch-XXXXXX";
  const std::string dir = mkdtemp(tmpl);
  ASSERT_TRUE(WriteFileAtomic(dir + "/one.te4", "junk", 4));
  StartupOptions o = ParseCommandLine({"-render", dir + "/one.te4", dir + "/two.te4", "-O" + dir});
  EXPECT_EQ(RunBatch(o, FakeSleep).code, 10);
  EXPECT_TRUE(std::filesystem::exists(dir + "/one.bad"));
  EXPECT_FALSE(std::filesystem::exists(dir + "/two.bad"));
  EXPECT_EQ(slept, -1);  // a render run does not wait
  o = ParseCommandLine({"-viewer", "-T3", dir + "/one.te4", "-O" + dir});
  EXPECT_EQ(RunBatch(o, FakeSleep).code, 10);
  EXPECT_EQ(slept, 3);
  o.files.clear();
  EXPECT_EQ(RunBatch(o, FakeSleep).code, 10);
  std::filesystem::remove_all(dir);
}

// Without an output folder of its own the protected copy would replace the stream it came
// from: the run reports a failure to write and leaves the folder as it was.
TEST(Batch, ARenderRunNeverOverwritesItsInput) {
  char tmpl[] = "/tmp/tintara-self-XXXXXX";
  const std::string dir = mkdtemp(tmpl);
  const std::string input = dir + "/pic.te4";
  std::filesystem::copy_file(TINTARA_EXAMPLES_DIR "/first.te4", input);
  std::vector<uint8_t> before;
  ASSERT_TRUE(ReadWholeFile(input, before));
  for (const std::vector<std::string>& args : {std::vector<std::string>{"-render", input},
                                               {"-render", input, "-O" + dir},
                                               {"-render", input, "-O" + dir + "/"}}) {
    const BatchReport report = RunBatch(ParseCommandLine(args));
    EXPECT_EQ(report.code, 9) << args.back();
    std::vector<uint8_t> after;
    ASSERT_TRUE(ReadWholeFile(input, after));
    EXPECT_EQ(after, before);
    EXPECT_FALSE(std::filesystem::exists(dir + "/pic.bmp"));
  }
  // Elsewhere it writes both.
  std::filesystem::create_directories(dir + "/out");
  EXPECT_EQ(RunBatch(ParseCommandLine({"-render", input, "-O" + dir + "/out"})).code, 8);
  EXPECT_TRUE(std::filesystem::exists(dir + "/out/pic.bmp"));

  // A stream may carry the name of an output: neither the marker nor the picture replaces it.
  struct Case {
    const char* name;
    bool garbage;  // unreadable, so the run ends with a marker of the same name
    int code;
  } cases[] = {{"x.bad", true, 10}, {"pic.bmp", false, 9}};
  for (const Case& c : cases) {
    const std::string stream = dir + "/" + c.name;
    if (c.garbage) {
      ASSERT_TRUE(WriteFileAtomic(stream, "not a stream", 12));
    } else {
      std::filesystem::copy_file(TINTARA_EXAMPLES_DIR "/first.te4", stream);
    }
    std::vector<uint8_t> mine, after;
    ASSERT_TRUE(ReadWholeFile(stream, mine));
    EXPECT_EQ(RunBatch(ParseCommandLine({"-render", stream, "-O" + dir})).code, c.code) << c.name;
    ASSERT_TRUE(ReadWholeFile(stream, after));
    EXPECT_EQ(after, mine) << c.name;
  }
  std::filesystem::remove_all(dir);
}

// The bundled example is what a machine without a display replays: it must stay replayable.
TEST(Batch, TheBundledExampleRendersAsBuilt) {
  char tmpl[] = "/tmp/tintara-example-XXXXXX";
  const std::string dir = mkdtemp(tmpl);
  const StartupOptions o = ParseCommandLine({"-render", TINTARA_EXAMPLES_DIR "/first.te4", "-O" + dir});
  const BatchReport report = RunBatch(o);
  ASSERT_EQ(report.code, 8);
  TMTC bmp;
  ASSERT_TRUE(ReadBmpFile(bmp, report.picture));
  ASSERT_EQ(bmp.Width(), 320);
  ASSERT_EQ(bmp.Height(), 240);
  struct Probe {
    int32_t x, y;
    uint32_t rgb;
  } probes[] = {
      {10, 10, 0xF4ECE0},   // the paper colour where every layer has slid away
      {60, 50, 0x3060B0},   // the normal layer alone
      {300, 10, 0x0B131F},  // white in difference over paper: the paper's complement
  };
  for (const Probe& p : probes) EXPECT_EQ(*bmp.Pixel(p.x, p.y) & 0xFFFFFF, p.rgb) << p.x << "," << p.y;
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace tintara
