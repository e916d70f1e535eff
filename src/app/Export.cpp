#include "app/Export.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>

#include "app/AppProfile.h"
#include "app/Batch.h"
#include "app/PictureDocument.h"
#include "files/NativeFile.h"

namespace tintara {

namespace {

namespace fs = std::filesystem;

// The kinds the general open operation knows by extension.
enum : int32_t {
  kFileKindNone = 0,
  kFileKindOldPicture = 1,
  kFileKindOldEvents = 2,
  kFileKindNative = 3,
  kFileKindEvents2 = 4,
  kFileKindEvents3 = 5,
  kFileKindEvents4 = 6,
  kFileKindBmp = 7,
  kFileKindJpeg = 8,
  kFileKindPng = 9,
  kFileKindPsd = 10,
};

int32_t FileKindOf(const std::string& path) {
  std::string ext = fs::path(path).extension().string();
  for (char& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
  const struct {
    const char* ext;
    int32_t kind;
  } kinds[] = {{".vud", 1}, {".zov", 2}, {".tci", 3}, {".tes", 4}, {".te3", 5}, {".fm3", 5},
               {".te4", 6}, {".fm4", 6}, {".bmp", 7}, {".jpg", 8}, {".png", 9}, {".psd", 10}};
  for (const auto& k : kinds)
    if (ext == k.ext) return k.kind;
  return kFileKindNone;
}

std::string NotFoundMessage(const std::string& path) {
  return "ファイルが見つかりません！\r\n    路径 = " + path;
}
std::string UnsupportedMessage(const std::string& path) { return path + " は未対応の形式です"; }
std::string SaveFailedMessage(const std::string& path) { return path + "\rの保存に失敗しました!"; }
constexpr const char* kNotAnEventFileMessage = "イベントファイルとして開くことができません!";
constexpr const char* kSaveNotSupportedMessage = "この形式での保存はサポートしていません!";

std::string WithCode(const std::string& text, int32_t code) {
  return text + " (" + std::to_string(code) + ")";
}

ExportOutcome Failed(int32_t status, const std::string& text) { return {status, TerminalText(text)}; }

// Opens `in` into `doc`; an empty outcome message means it opened.
ExportOutcome Open(const std::string& in, int32_t kind, CPictureDocument& doc) {
  std::error_code ec;
  if (!fs::exists(in, ec)) return Failed(kExportInputFailed, NotFoundMessage(in));
  switch (kind) {
    case kFileKindNative: {
      const NativeLoadResult r = doc.OpenNative(in);
      // A picture that read with errors is not converted: what came through may be a part of it.
      if (!r.opened || r.status != 0) return Failed(kExportInputFailed, OpenFailedMessage(in, r.status));
      return {};
    }
    case kFileKindBmp:
    case kFileKindJpeg:
    case kFileKindPng: {
      const GfxResult r = doc.OpenImage(in);
      if (r != GfxResult::Ok) return Failed(kExportInputFailed, OpenFailedMessage(in, ResultCode(r)));
      return {};
    }
    case kFileKindOldEvents:
    case kFileKindEvents2:
    case kFileKindEvents3:
    case kFileKindEvents4: {
      const int32_t start = doc.ReplayToEnd(in, kind == kFileKindOldEvents);
      if (start < 0) return Failed(kExportIncomplete, WithCode(BatchOutcomeText(12), 12));
      if (start != 0) return Failed(kExportInputFailed, WithCode(kNotAnEventFileMessage, start));
      return {};
    }
    default:
      return Failed(kExportInputFailed, UnsupportedMessage(in));
  }
}

}  // namespace

std::string TerminalText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r') {
      out += text[i];
      continue;
    }
    out += '\n';
    if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
  }
  return out;
}

void CTerminalNotifySink::Warning(std::string_view text) {
  std::fprintf(stderr, "tintara: %s\n", TerminalText(text).c_str());
}

ConfirmAnswer CTerminalNotifySink::Confirm(std::string_view text, ConfirmButtons buttons) {
  const ConfirmAnswer safe = buttons == ConfirmButtons::YesNo ? ConfirmAnswer::No : ConfirmAnswer::Cancel;
  std::fprintf(stderr, "tintara: %s -> %s\n", TerminalText(text).c_str(),
               safe == ConfirmAnswer::No ? "No" : "Cancel");
  return safe;
}

JpegOptions JpegOptionsFromProfile(const FileIOSettings& f) {
  JpegOptions o;
  const int32_t presets[] = {f.jpegQVHigh, f.jpegQHigh, f.jpegQStd, f.jpegQLow};
  o.quality = f.jpegQType >= 0 && f.jpegQType < 4 ? presets[f.jpegQType] : f.jpegQuality;
  o.quality = std::clamp(o.quality, kJpegValueMin, kJpegValueMax);
  o.progressive = f.jpegUseProgressive ? 1 : 0;
  o.smoothingOn = f.jpegUseSmooth ? -1 : 0;
  o.smoothing = std::clamp(f.jpegValSmooth, kJpegValueMin, kJpegValueMax);
  return o;
}

ExportOutcome ExportFile(const std::string& out, const std::string& in,
                         const std::function<JpegOptions()>& jpegSettings) {
  // What OUT is to be is settled before anything is read.
  const int32_t outKind = FileKindOf(out);
  if (outKind == kFileKindOldPicture) return Failed(kExportOutputKind, kSaveNotSupportedMessage);
  if (outKind != kFileKindNative && outKind != kFileKindBmp && outKind != kFileKindJpeg &&
      outKind != kFileKindPng)
    return Failed(kExportOutputKind, UnsupportedMessage(out));
  std::error_code ec;
  if (fs::equivalent(out, in, ec))
    return Failed(kExportUsage,
                  "OUT is the input file itself; a conversion never overwrites its input: " + out);
  CPictureDocument doc(nullptr, PaperSettings{});
  ExportOutcome opened = Open(in, FileKindOf(in), doc);
  if (opened.exitStatus != kExportDone) return opened;
  if (outKind == kFileKindNative) {
    const NativeSaveResult r = doc.SaveNative(out);
    if (!r.saved) return Failed(kExportWriteFailed, WithCode(SaveFailedMessage(out), r.status));
    return {};
  }
  const JpegOptions jpeg = outKind == kFileKindJpeg && jpegSettings ? jpegSettings() : JpegOptions{};
  const GfxResult r = doc.SaveFlat(out, outKind, &jpeg);
  if (r != GfxResult::Ok) return Failed(kExportWriteFailed, WithCode(SaveFailedMessage(out), ResultCode(r)));
  return {};
}

}  // namespace tintara
