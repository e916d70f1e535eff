#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "app/AppProfile.h"
#include "app/CommandLine.h"
#include "app/Export.h"
#include "app/PictureDocument.h"
#include "events/OldPackets.h"
#include "events/Render.h"
#include "files/GraphicsLib.h"
#include "pixel/Bmp.h"
#include "pixel/ColorOps.h"
#include "platform/FileIO.h"
#include "platform/Notify.h"

namespace tintara {
namespace {

namespace fs = std::filesystem;

class ExportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/tintara-export-XXXXXX";
    dir_ = mkdtemp(tmpl);
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string Path(const std::string& name) const { return dir_ + "/" + name; }
  // Everything in the folder, so that a failed export can be shown to leave nothing.
  std::vector<std::string> Listing() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir_)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
  std::string dir_;
};

// A 40 × 30 picture on transparent paper: an opaque blue layer slid to the right half, a
// translucent amber one in multiply slid to the lower half, and the upper left left clear.
void MakePicture(CPictureDocument& doc) {
  ASSERT_TRUE(doc.NewPicture("t", 40, 30, 144, true));
  TPaper& paper = doc.Paper();
  ASSERT_TRUE(paper.SetPaperColorOn(false));
  const int32_t blue = paper.NewLayer(doc.Flow(), kModeNormal, 0xFF2080C0, "blue");
  ASSERT_GE(blue, 0);
  ASSERT_TRUE(paper.SetLayerPosition(doc.Flow(), blue, -20, 0));
  const int32_t amber = paper.NewLayer(doc.Flow(), kModeMultiply, 0xC0F0A020, "amber");
  ASSERT_GE(amber, 0);
  ASSERT_TRUE(paper.SetLayerPosition(doc.Flow(), amber, 0, -15));
  ASSERT_FALSE(paper.paperColorOn);
}

// The composite as a flat file holds it: with a clear paper switched to white, no grid.
std::vector<uint32_t> FlatComposite(TPaper& paper) {
  const bool clear = !paper.paperColorOn;
  if (clear) {
    EXPECT_TRUE(paper.SetPaperColorOn(true));
  }
  paper.RecompositeAll(false);
  std::vector<uint32_t> out;
  for (int32_t y = 0; y < paper.height; ++y)
    for (int32_t x = 0; x < paper.width; ++x) out.push_back(*paper.composite.Pixel(x, y) & 0xFFFFFF);
  if (clear) {
    EXPECT_TRUE(paper.SetPaperColorOn(false));
  }
  return out;
}

std::vector<uint32_t> Rgb(const TMTC& image) {
  std::vector<uint32_t> out;
  for (int32_t y = 0; y < image.Height(); ++y)
    for (int32_t x = 0; x < image.Width(); ++x) out.push_back(*image.Pixel(x, y) & 0xFFFFFF);
  return out;
}

TEST_F(ExportTest, APictureFileBecomesAPngOfItsComposite) {
  RecordingNotifySink notes;
  CPictureDocument doc(nullptr, PaperSettings{});
  MakePicture(doc);
  ASSERT_TRUE(doc.SaveNative(Path("in.tci")).saved);
  const std::vector<uint32_t> expected = FlatComposite(doc.Paper());

  const ExportOutcome r = ExportFile(Path("out.png"), Path("in.tci"));
  ASSERT_EQ(r.exitStatus, kExportDone) << r.message;
  GraphicsImage png;
  ASSERT_EQ(pngGetImage(Path("out.png"), png), GfxResult::Ok);
  ASSERT_EQ(png.pixels.Width(), 40);
  ASSERT_EQ(png.pixels.Height(), 30);
  EXPECT_EQ(png.dpi, 144);
  EXPECT_EQ(Rgb(png.pixels), expected);
  // Clear paper shows white, both layers show where they lie, and the paper stays clear.
  EXPECT_EQ(expected[0], 0xFFFFFFu);
  EXPECT_NE(expected[39], 0xFFFFFFu);
  EXPECT_NE(expected[29 * 40], 0xFFFFFFu);
  EXPECT_FALSE(doc.Paper().paperColorOn);
  EXPECT_TRUE(notes.warnings.empty());
}

TEST_F(ExportTest, AnEventFileThroughAPictureFileGivesTheRenderedPicture) {
  // The render run's picture of the bundled example is what the export must give too.
  RenderRequest request;
  request.eventFile = TINTARA_EXAMPLES_DIR "/first.te4";
  request.outputDir = dir_;
  const RenderResult rendered = RenderEventFile(request);
  ASSERT_EQ(rendered.outcome, RenderOutcome::kSuccess);
  TMTC bmp;
  ASSERT_TRUE(ReadBmpFile(bmp, rendered.picture));

  ASSERT_EQ(ExportFile(Path("mid.tci"), request.eventFile).exitStatus, kExportDone);
  ASSERT_EQ(ExportFile(Path("back.png"), Path("mid.tci")).exitStatus, kExportDone);
  GraphicsImage png;
  ASSERT_EQ(pngGetImage(Path("back.png"), png), GfxResult::Ok);
  EXPECT_EQ(Rgb(png.pixels), Rgb(bmp));

  // The picture file carries the stream: replaying it alone draws the picture again.
  CPictureDocument reopened(nullptr, PaperSettings{});
  ASSERT_TRUE(reopened.OpenNative(Path("mid.tci")).opened);
  EXPECT_TRUE(reopened.Appending());
  EXPECT_TRUE(reopened.HasEvents());

  // And straight to BMP and JPEG.
  ASSERT_EQ(ExportFile(Path("direct.bmp"), request.eventFile).exitStatus, kExportDone);
  TMTC direct;
  ASSERT_TRUE(ReadBmpFile(direct, Path("direct.bmp")));
  EXPECT_EQ(Rgb(direct), Rgb(bmp));
  // The JPEG settings are asked for only when OUT is a JPEG, and their quality is used.
  int32_t asked = 0;
  auto quality = [&asked](int32_t q) {
    return [&asked, q] {
      ++asked;
      JpegOptions o;
      o.quality = q;
      return o;
    };
  };
  EXPECT_EQ(asked, 0);
  ASSERT_EQ(ExportFile(Path("fine.jpg"), request.eventFile, quality(100)).exitStatus, kExportDone);
  ASSERT_EQ(ExportFile(Path("coarse.jpg"), request.eventFile, quality(5)).exitStatus, kExportDone);
  ASSERT_EQ(ExportFile(Path("none.png"), request.eventFile, quality(5)).exitStatus, kExportDone);
  EXPECT_EQ(asked, 2);
  EXPECT_LT(fs::file_size(Path("coarse.jpg")) * 2, fs::file_size(Path("fine.jpg")));
  GraphicsImage jpg;
  ASSERT_EQ(jpegGetImage(Path("fine.jpg"), jpg), GfxResult::Ok);
  EXPECT_EQ(jpg.pixels.Width(), bmp.Width());
}

TEST_F(ExportTest, AFirstGenerationStreamIsReplayedToo) {
  // Paper 8 × 6 in a dark colour with one filled rectangle, then the end.
  std::vector<uint8_t> bytes;
  ASSERT_TRUE(EncodeOld(OldPaperSizeRecord{512, 8, 6}, bytes));
  ASSERT_TRUE(EncodeOld(OldPaperColourRecord{513, 0x00102030}, bytes));
  ASSERT_TRUE(EncodeOld(OldRectRecord{296, 0, 1, 1, 4, 3, 0x00112233}, bytes));
  ASSERT_TRUE(EncodeOld(OldEmptyRecord{kOldEndCode}, bytes));
  ASSERT_TRUE(WriteFileAtomic(Path("OLD.ZOV"), bytes.data(), bytes.size()));
  const ExportOutcome r = ExportFile(Path("old.PNG"), Path("OLD.ZOV"));
  ASSERT_EQ(r.exitStatus, kExportDone) << r.message;
  GraphicsImage png;
  ASSERT_EQ(pngGetImage(Path("old.PNG"), png), GfxResult::Ok);
  ASSERT_EQ(png.pixels.Width(), 8);
  ASSERT_EQ(png.pixels.Height(), 6);
  EXPECT_EQ(*png.pixels.Pixel(0, 0), 0xFF102030u);
  const std::vector<uint32_t> rgb = Rgb(png.pixels);
  // The rectangle shows (its layer multiplies over the paper) and the rest is paper.
  const auto paper = std::count(rgb.begin(), rgb.end(), 0x102030u);
  EXPECT_GT(paper, 24);
  EXPECT_LT(paper, 48);
  EXPECT_NE(rgb[2 * 8 + 2], 0x102030u);
}

TEST_F(ExportTest, FailuresSayWhyAndLeaveNoOutput) {
  ASSERT_TRUE(WriteFileAtomic(Path("junk.tci"), "not a picture", 13));
  ASSERT_TRUE(WriteFileAtomic(Path("junk.te4"), "not events", 10));
  ASSERT_TRUE(WriteFileAtomic(Path("plain"), "x", 1));
  CPictureDocument doc(nullptr, PaperSettings{});
  MakePicture(doc);
  ASSERT_TRUE(doc.SaveNative(Path("good.tci")).saved);
  std::vector<uint8_t> good;
  ASSERT_TRUE(ReadWholeFile(Path("good.tci"), good));
  // Cut inside the header, inside the layers and just before the end.
  for (const size_t cut : {size_t(100), good.size() / 2, good.size() - 8})
    ASSERT_TRUE(WriteFileAtomic(Path("cut" + std::to_string(cut) + ".tci"), good.data(), cut));
  fs::create_directories(Path("folder.png"));
  ASSERT_TRUE(fs::copy_file(Path("good.tci"), Path("UPPER.TCI")));
  struct Case {
    std::string out, in;
    int32_t status;
    std::string message;  // the start of the message
  };
  const Case cases[] = {
      {"a.png", "missing.tci", kExportInputFailed,
       "ファイルが見つかりません！\n    路径 = " + Path("missing.tci")},
      {"a.png", "junk.tci", kExportInputFailed, Path("junk.tci") + "\nのオープンに失敗しました!  (err="},
      // A picture that reads with errors is not converted, whatever part of it came through.
      {"a.png", "cut100.tci", kExportInputFailed, Path("cut100.tci") + "\nのオープンに失敗しました!  (err="},
      {"a.png", "cut" + std::to_string(good.size() / 2) + ".tci", kExportInputFailed,
       Path("cut" + std::to_string(good.size() / 2) + ".tci") + "\nのオープンに失敗しました!  (err="},
      {"a.png", "cut" + std::to_string(good.size() - 8) + ".tci", kExportInputFailed,
       Path("cut" + std::to_string(good.size() - 8) + ".tci") + "\nのオープンに失敗しました!  (err="},
      // A folder is no file, whatever its name.
      {"a.png", "folder.png", kExportInputFailed, Path("folder.png") + "\nのオープンに失敗しました!  (err="},
      {"folder.png", "good.tci", kExportWriteFailed, Path("folder.png") + "\nの保存に失敗しました! ("},
      // The input is never overwritten, under either name.
      {"good.tci", "good.tci", kExportUsage, "OUT is the input file itself"},
      {"UPPER.TCI", "./UPPER.TCI", kExportUsage, "OUT is the input file itself"},
      {"a.png", "junk.te4", kExportInputFailed, "イベントファイルとして開くことができません! ("},
      {"a.png", "plain", kExportInputFailed, Path("plain") + " は未対応の形式です"},
      {"a.xyz", "good.tci", kExportOutputKind, Path("a.xyz") + " は未対応の形式です"},
      {"a.psd", "good.tci", kExportOutputKind, Path("a.psd") + " は未対応の形式です"},
      {"a.vud", "good.tci", kExportOutputKind, "この形式での保存はサポートしていません!"},
      // The folder of OUT is a file: nothing can be written there.
      {"plain/a.png", "good.tci", kExportWriteFailed, Path("plain/a.png") + "\nの保存に失敗しました! ("},
      {"plain/a.tci", "good.tci", kExportWriteFailed, Path("plain/a.tci") + "\nの保存に失敗しました! ("},
  };
  const std::vector<std::string> before = Listing();
  std::vector<uint8_t> upper;
  ASSERT_TRUE(ReadWholeFile(Path("UPPER.TCI"), upper));
  for (const Case& c : cases) {
    RecordingNotifySink notes;
    const ExportOutcome r = ExportFile(Path(c.out), c.in.front() == '/' ? c.in : Path(c.in));
    SCOPED_TRACE(c.out + " from " + c.in);
    EXPECT_EQ(r.exitStatus, c.status);
    EXPECT_EQ(r.message.substr(0, c.message.size()), c.message) << r.message;
    EXPECT_EQ(Listing(), before);
  }
  std::vector<uint8_t> after;
  ASSERT_TRUE(ReadWholeFile(Path("UPPER.TCI"), after));
  EXPECT_EQ(after, upper);
  // And the uppercase name converts like any other.
  EXPECT_EQ(ExportFile(Path("upper.png"), Path("UPPER.TCI")).exitStatus, kExportDone);
}

TEST(ExportSwitches, TheSwitchTakesTheNextTwoArguments) {
  RecordingNotifySink notes;
  StartupOptions o = ParseCommandLine({"-EXPORT", "-out.png", "in.te4", "more.tci"});
  EXPECT_TRUE(o.exportRun);
  EXPECT_FALSE(o.exportMissing);
  EXPECT_EQ(o.exportOut, "-out.png");
  EXPECT_EQ(o.exportIn, "in.te4");
  EXPECT_EQ(o.files, std::vector<std::string>{"more.tci"});
  o = ParseCommandLine({"-export", "out.png"});
  EXPECT_TRUE(o.exportMissing);
  EXPECT_TRUE(notes.warnings.empty());
}

TEST(ExportSwitches, JpegQualityFollowsTheProfilesChoice) {
  FileIOSettings f;
  f.jpegQVHigh = 99, f.jpegQHigh = 88, f.jpegQStd = 77, f.jpegQLow = 66, f.jpegQuality = 55;
  const int32_t expected[] = {99, 88, 77, 66, 55};
  for (int32_t type = 0; type <= 4; ++type) {
    f.jpegQType = type;
    EXPECT_EQ(JpegOptionsFromProfile(f).quality, expected[type]) << type;
  }
  f.jpegUseSmooth = true;
  f.jpegValSmooth = 30;
  f.jpegUseProgressive = true;
  const JpegOptions o = JpegOptionsFromProfile(f);
  EXPECT_EQ(o.smoothingOn, -1);
  EXPECT_EQ(o.smoothing, 30);
  EXPECT_EQ(o.progressive, 1);
}

TEST(ExportSwitches, TerminalTextBreaksLinesAsTheBoxesDo) {
  EXPECT_EQ(TerminalText("a\r\n    b\rc"), "a\n    b\nc");
  EXPECT_EQ(TerminalText("\r"), "\n");
}

// The program itself: silent on success, the message and a non-zero status on failure.
struct ProgramRun {
  int status;
  std::string out, err;
};
ProgramRun RunProgram(const std::string& args, const std::string& env = "") {
  const std::string errFile = fs::temp_directory_path() / ("tintara-export-err-" + std::to_string(getpid()));
  const std::string command = env + " " + std::string(TINTARA_PROGRAM) + " " + args + " 2>" + errFile;
  ProgramRun run;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return {-1, "", ""};
  std::array<char, 256> buffer;
  while (fgets(buffer.data(), int(buffer.size()), pipe)) run.out += buffer.data();
  const int status = pclose(pipe);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  std::vector<uint8_t> err;
  if (ReadWholeFile(errFile, err)) run.err.assign(err.begin(), err.end());
  fs::remove(errFile);
  return run;
}

TEST_F(ExportTest, TheProgramConvertsFromTheCommandLine) {
  const ProgramRun ok = RunProgram("-export '" + Path("x.png") + "' '" TINTARA_EXAMPLES_DIR "/first.tci'");
  EXPECT_EQ(ok.status, 0) << ok.err;
  EXPECT_EQ(ok.out, "");
  EXPECT_EQ(ok.err, "");
  EXPECT_TRUE(fs::exists(Path("x.png")));

  const ProgramRun missing = RunProgram("-export '" + Path("y.png") + "' '" + Path("none.tci") + "'");
  EXPECT_EQ(missing.status, kExportInputFailed);
  EXPECT_NE(missing.err.find("ファイルが見つかりません！"), std::string::npos) << missing.err;
  EXPECT_FALSE(fs::exists(Path("y.png")));

  // A conversion to JPEG reads the settings but never creates or writes them.
  fs::create_directories(Path("config"));
  const ProgramRun jpeg = RunProgram("-export '" + Path("x.jpg") + "' '" TINTARA_EXAMPLES_DIR "/first.tci'",
                                     "XDG_CONFIG_HOME='" + Path("config") + "'");
  EXPECT_EQ(jpeg.status, 0) << jpeg.err;
  EXPECT_TRUE(fs::exists(Path("x.jpg")));
  EXPECT_TRUE(fs::is_empty(Path("config")));

  for (const char* args : {"-export only.png", "-export a.png b.tci c.tci", "-render -export a.png b.tci"})
    EXPECT_EQ(RunProgram(args).status, kExportUsage) << args;

  const ProgramRun help = RunProgram("a.tci --help");
  EXPECT_EQ(help.status, 0);
  for (const char* word : {"-render", "-viewer", "-export", "-O", "-T", "-W"})
    EXPECT_NE(help.out.find(word), std::string::npos) << word;
}

}  // namespace
}  // namespace tintara
