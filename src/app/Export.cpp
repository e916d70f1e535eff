#include "app/Export.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>

#include "app/AppProfile.h"
#include "app/Batch.h"
#include "app/PictureDocument.h"
#include "app/ShellRules.h"
#include "files/NativeFile.h"

namespace tintara {

namespace {

namespace fs = std::filesystem;

using namespace shell;

std::string WithCode(const std::string& text, int32_t code) {
  return text + " (" + std::to_string(code) + ")";
}

ExportOutcome Failed(int32_t status, const std::string& text) { return {status, TerminalText(text)}; }

// Opens `in` into `doc`; an empty outcome message means it opened.
ExportOutcome Open(const std::string& in, int32_t kind, CPictureDocument& doc) {
  std::error_code ec;
  if (!fs::exists(in, ec)) return Failed(kExportInputFailed, NotFoundMessage(in));
  switch (kind) {
    case kKindTci: {
      const NativeLoadResult r = doc.OpenNative(in);
      // A picture that read with errors is not converted: what came through may be a part of it.
      if (!r.opened || r.status != 0) return Failed(kExportInputFailed, OpenFailedMessage(in, r.status));
      return {};
    }
    case kKindBmp:
    case kKindJpg:
    case kKindPng: {
      const GfxResult r = doc.OpenImage(in);
      if (r != GfxResult::Ok) return Failed(kExportInputFailed, OpenFailedMessage(in, ResultCode(r)));
      return {};
    }
    case kKindZov:
    case kKindTes:
    case kKindTe3:
    case kKindTe4: {
      const int32_t start = doc.ReplayToEnd(in, kind == kKindZov);
      if (start < 0) return Failed(kExportIncomplete, WithCode(BatchOutcomeText(12), 12));
      if (start != 0) return Failed(kExportInputFailed, WithCode(kNotEventFileText, start));
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
  if (outKind == kKindVud) return Failed(kExportOutputKind, kCannotSaveFormatText);
  if (outKind != kKindTci && outKind != kKindBmp && outKind != kKindJpg && outKind != kKindPng)
    return Failed(kExportOutputKind, UnsupportedMessage(out));
  std::error_code ec;
  if (fs::equivalent(out, in, ec))
    return Failed(kExportUsage,
                  "OUT is the input file itself; a conversion never overwrites its input: " + out);
  CPictureDocument doc(nullptr, PaperSettings{});
  ExportOutcome opened = Open(in, FileKindOf(in), doc);
  if (opened.exitStatus != kExportDone) return opened;
  if (outKind == kKindTci) {
    const NativeSaveResult r = doc.SaveNative(out);
    if (!r.saved) return Failed(kExportWriteFailed, WithCode(SaveFailedMessage(out), r.status));
    return {};
  }
  const JpegOptions jpeg = outKind == kKindJpg && jpegSettings ? jpegSettings() : JpegOptions{};
  const GfxResult r = doc.SaveFlat(out, outKind, &jpeg);
  if (r != GfxResult::Ok) return Failed(kExportWriteFailed, WithCode(SaveFailedMessage(out), ResultCode(r)));
  return {};
}

}  // namespace tintara
