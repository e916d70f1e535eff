// Conversion from the command line: any picture or event file the program opens, written out
// by the extension of the output without a window.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "files/GraphicsLib.h"
#include "platform/Notify.h"

namespace tintara {

struct FileIOSettings;

// Exit statuses of an export run.
inline constexpr int32_t kExportDone = 0;
inline constexpr int32_t kExportUsage = 2;        // the switch lacks its arguments
inline constexpr int32_t kExportInputFailed = 3;  // IN missing, of no kind we read, or unreadable
inline constexpr int32_t kExportOutputKind = 4;   // OUT has an extension we do not write
inline constexpr int32_t kExportWriteFailed = 5;  // OUT could not be written (nothing is left behind)
inline constexpr int32_t kExportIncomplete = 6;   // the stream needs operations this build lacks

struct ExportOutcome {
  int32_t exitStatus = kExportDone;
  std::string message;  // for stderr when the export failed: the program's text and the code
};

// The JPEG settings the save dialog would start with: the chosen preset's quality, or the free
// value; progressive and smoothing as remembered.
JpegOptions JpegOptionsFromProfile(const FileIOSettings& fileIO);

// Opens `in` as the general open operation would (.tci, .bmp, .jpg, .png, and event files
// .tes, .te3, .te4, .zov replayed to their end) and writes `out` by its extension: .tci
// natively with the events, .bmp/.jpg/.png from the composite without grid, a transparent
// paper over white. The output file appears complete or not at all.
// A picture that reads with errors is refused, and so is an OUT that is IN itself.
// `jpegSettings` is asked only when OUT is a JPEG.
ExportOutcome ExportFile(const std::string& out, const std::string& in,
                         const std::function<JpegOptions()>& jpegSettings = {});

// Messages for a terminal: warnings on stderr with the line breaks the boxes would show, and
// every question answered with its safe button (No, or Cancel).
class CTerminalNotifySink : public INotifySink {
 public:
  void Warning(std::string_view text) override;
  ConfirmAnswer Confirm(std::string_view text, ConfirmButtons buttons) override;
};

// "\r\n" and "\r" as "\n".
std::string TerminalText(std::string_view text);

}  // namespace tintara
