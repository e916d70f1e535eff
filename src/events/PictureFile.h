// A picture file together with its recorded events: the paper's stream goes into the file's
// event blocks when it is saved, and a loaded picture takes the stream back and goes on
// recording after it (append mode), so that a replay of the stream draws the whole picture.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "files/NativeFile.h"

namespace tintara {

class TPaper;
class TFlowImage;
class CPaperRecorder;

// The event side of a picture file for one paper's recorder.
class CPictureEvents : public INativeEventData {
 public:
  // `record`: whether the loaded picture is to go on recording (else its events are dropped).
  // `undoMax` sizes the group ring when the recorder has none yet.
  CPictureEvents(CPaperRecorder& recorder, bool record = true, int32_t undoMax = 50);

  int32_t SaveEvents(int32_t width, int32_t height, std::vector<uint8_t>& out) override;
  int32_t LoadEvents(std::span<const uint8_t> blocks, size_t& used) override;
  void DiscardEvents() override;
  void LoadFinished(bool eventsRead) override;
  int32_t SaveSteps() const override;

  // After a load: whether the paper records on after the loaded stream.
  bool Appending() const { return appending_; }

 private:
  CPaperRecorder& recorder_;
  bool record_;
  int32_t undoMax_;
  bool appending_ = false;
};

// Continues a stream taken whole from a picture file: a trailing end marker goes, the state
// copies are forgotten (the next operation writes the state it needs), and a start marker
// opens the appended part. A protected stream is cleared and refused; any other failure shows
// "イベント追記モードに移行できませんでした!…" and clears the recorder.
bool EnterAppendModeWhole(CPaperRecorder& recorder, int32_t undoMax);

// Whether a save of the paper carries its events: the recorder records and holds some.
bool HasEventsToSave(CPaperRecorder* recorder);

// Saves the picture with what the drawing window saves (layers and thumbnail, masks when
// there are several or the selection is in use, events when the recorder holds them and
// records).
NativeSaveResult SavePicture(const std::string& path, TPaper& paper, CPaperRecorder* recorder,
                             INativeProgress* progress = nullptr);
// Loads a picture file into a fresh paper whose recorder then goes on recording after the
// loaded events; a picture without (readable) events opens without recording, since no
// replay could draw it.
NativeLoadResult LoadPicture(const std::string& path, TPaper& paper, TFlowImage& flow,
                             CPaperRecorder& recorder, bool record = true, bool* appending = nullptr,
                             INativeProgress* progress = nullptr);

}  // namespace tintara
