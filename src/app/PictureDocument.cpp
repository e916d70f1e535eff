#include "app/PictureDocument.h"

#include <chrono>
#include <filesystem>

#include "events/EventFile.h"
#include "events/PictureFile.h"
#include "pixel/ColorOps.h"

namespace tintara {

namespace {

namespace fs = std::filesystem;

// A resolution the paper accepts for an image that carries none.
constexpr int32_t kFallbackDpi = 72;

std::string StemOf(const std::string& path) { return fs::path(path).stem().string(); }

}  // namespace

CPictureDocument::CPictureDocument(IPaperHost* host, const PaperSettings& settings, CLivePen* pen)
    : paper_(host, settings),
      ownPen_(pen ? nullptr : std::make_unique<CLivePen>()),
      pen_(pen ? *pen : *ownPen_) {
  strokes_.SetRecorder(&strokeLink_);
}

PointerResult CPictureDocument::StrokeSample(const tintara::StrokeSample& s, double zoomFactor,
                                             int32_t zoomStep) {
  if (Replaying() || !paper_.initialised) return PointerResult::kIgnored;
  if (!strokes_.Running()) {
    // The pen's manager settings as the user has them now; a stroke keeps its own.
    strokes_.SetParams(pen_.params);
    strokes_.SetInterpolationMode(pen_.interpolation);
  }
  PointerState state;
  state.zoomFactor = zoomFactor;
  state.zoomStep = zoomStep;
  const PointerResult r = strokes_.PointerSample(s, state, events_.Recording());
  if (r == PointerResult::kBegan || r == PointerResult::kContinued) modified = true;
  return r;
}

bool CPictureDocument::StrokeUp(float x, float y) {
  if (!strokes_.Running()) return false;
  PointerState state;
  state.zoomFactor = paper_.ZoomFactor();
  state.zoomStep = paper_.zoomIndex;
  return strokes_.PointerUp(x, y, state, events_.Recording());
}

CPictureDocument::~CPictureDocument() {
  // The players and the journal go before the paper that points at them.
  player_.reset();
  oldPlayer_.reset();
  paper_.SetJournal(nullptr);
}

bool CPictureDocument::HasEvents() const { return events_.Recording() && events_.CommittedLength() > 0; }

bool CPictureDocument::NewPicture(const std::string& title, int32_t width, int32_t height, int32_t dpi,
                                  bool transparent) {
  if (!paper_.Created()) return false;
  paper_.SetLevel(paper_.settings.strokeLevel);
  if (!recorder_.StartRecording(paper_.settings.undoMax)) return false;
  paper_.SetJournal(&journal_);
  if (!paper_.NewPaper(title, flow_, transparent, false, dpi, height, width)) {
    paper_.SetJournal(nullptr);
    recorder_.StopAndClear();
    return false;
  }
  paper_.ActivateLayer(flow_, 0);
  modified = false;
  return true;
}

NativeLoadResult CPictureDocument::OpenNative(const std::string& file) {
  bool appending = false;
  NativeLoadResult r = LoadPicture(file, paper_, flow_, recorder_, true, &appending);
  if (r.opened) {
    paper_.SetJournal(&journal_);
    paper_.title = StemOf(file);
    modified = false;
  }
  appending_ = appending;
  return r;
}

GfxResult CPictureDocument::OpenImage(const std::string& file) {
  if (!paper_.Created()) return GfxResult::NoMemory;
  std::string ext = fs::path(file).extension().string();
  for (char& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
  GraphicsImage image;
  GfxResult r = GfxResult::Unsupported;
  if (ext == ".bmp")
    r = bmpGetImage(file, image);
  else if (ext == ".jpg" || ext == ".jpeg")
    r = jpegGetImage(file, image);
  else if (ext == ".png")
    r = pngGetImage(file, image);
  if (r != GfxResult::Ok) return r;
  const int32_t w = image.pixels.Width(), h = image.pixels.Height();
  paper_.SetLevel(paper_.settings.strokeLevel);
  if (!paper_.NewPaper(StemOf(file), flow_, false, false, image.dpi > 0 ? image.dpi : kFallbackDpi, h, w))
    return GfxResult::NoMemory;
  CLayerData* layer = paper_.Layer(0);
  if (!layer || !flow_.Holds(*layer) || flow_.work.Width() < w || flow_.work.Height() < h)
    return GfxResult::NoMemory;
  CopyRect(flow_.work, {0, 0}, image.pixels, image.pixels.Bounds());
  paper_.CommitRect(flow_, 0, true, {0, 0, w, h});
  paper_.FinishWholeLayerEdit(flow_, 0);
  paper_.InvalidateView(false);
  modified = false;
  return GfxResult::Ok;
}

int32_t CPictureDocument::StartReplay(const std::string& file, bool batch) {
  if (!paper_.Created()) return 1;
  const int32_t loaded = LoadEventFile(file, events_);
  if (loaded != 0) return loaded;
  replayStrokes_ = std::make_unique<CReplayStrokeEngine>(paper_, flow_);
  player_ = std::make_unique<CEventPlayer>(paper_, flow_, events_, replayStrokes_.get());
  replayDone_ = false;
  const int32_t started = player_->Start(StemOf(file), batch);
  if (started != 0) {
    player_.reset();
    replayStrokes_.reset();
    return started;
  }
  paper_.title = StemOf(file);
  // The stream forgets its protection when it cannot be continued; the paper keeps it.
  if (events_.protectedStream) paper_.protectedReplay = 1;
  if (player_->Ended()) FinishReplay();
  return 0;
}

int32_t CPictureDocument::StartOldReplay(const std::string& file, bool batch) {
  if (!paper_.Created()) return 1;
  if (!oldPackets_.Load(file)) return 2;
  oldPlayer_ = std::make_unique<CEventOldPlayer>(paper_, flow_, oldPackets_);
  replayDone_ = false;
  const int32_t started = oldPlayer_->Start(StemOf(file), batch);
  if (started != 0) {
    oldPlayer_.reset();
    return started;
  }
  paper_.title = StemOf(file);
  if (oldPlayer_->Protected()) paper_.protectedReplay = 1;
  if (oldPlayer_->Ended()) FinishReplay();
  return 0;
}

int32_t CPictureDocument::ReplayToEnd(const std::string& file, bool old) {
  const int32_t started = old ? StartOldReplay(file, false) : StartReplay(file, false);
  if (started != 0) return started;
  StepResult end = StepResult::kEnded;
  bool incomplete = false;
  if (old) {
    if (!oldPlayer_->Ended()) end = oldPlayer_->RunToEnd();
    // A packet the old player could not replay ends it early: the picture is not the stream's.
    incomplete = oldPlayer_->Incomplete() || oldPlayer_->Failed();
  } else {
    if (!player_->Ended()) end = player_->RunToEnd();
    incomplete = player_->Incomplete();
  }
  FinishReplay();
  if (incomplete) return -1;
  return end == StepResult::kEnded ? 0 : 6;
}

void CPictureDocument::PauseReplay() {
  if (Replaying() && player_) player_->Pause();
}

void CPictureDocument::ResumeReplay() {
  if (Replaying() && player_) player_->Resume();
}

void CPictureDocument::StopReplay() {
  if (!Replaying()) return;
  if (oldPlayer_) {
    oldPlayer_->Stop();
  } else if (player_->InStroke()) {
    player_->FinishStroke();
  }
  FinishReplay();
}

void CPictureDocument::FinishReplay() {
  if (replayDone_) return;
  replayDone_ = true;
  // A first-generation stream is not continued: the picture goes on without recording.
  if (player_) {
    appending_ = player_->EnterAppendMode(recorder_);
    paper_.SetJournal(&journal_);
  }
  paper_.RecompositeAll(true);
  paper_.InvalidateView(false);
}

ReplayTick CPictureDocument::StepReplay(int32_t budgetMs) {
  if (!Replaying()) return ReplayTick::kIdle;
  if (player_ && player_->Paused()) return ReplayTick::kIdle;
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(budgetMs);
  do {
    const StepResult r = player_ ? player_->Step(false) : oldPlayer_->Step();
    if (r == StepResult::kEnded) {
      FinishReplay();
      return ReplayTick::kEnded;
    }
    if (r == StepResult::kFailed) {
      FinishReplay();
      return ReplayTick::kFailed;
    }
    if (r == StepResult::kIdle) break;
  } while (std::chrono::steady_clock::now() < until);
  paper_.InvalidateView(false);
  return ReplayTick::kRunning;
}

NativeSaveResult CPictureDocument::SaveNative(const std::string& file) {
  NativeSaveResult r = SavePicture(file, paper_, &recorder_);
  if (r.saved) modified = false;
  return r;
}

GfxResult CPictureDocument::SaveFlat(const std::string& file, int32_t kind, const JpegOptions* jpeg) {
  TTC picture;
  if (!paper_.FlatPicture(picture)) return GfxResult::NoMemory;
  const DibHeader header = MakeDibHeader(paper_.width, paper_.height, paper_.dpi);
  switch (kind) {
    case 7:
      return bmpSaveImage(file, header, picture);
    case 8:
      return jpegSaveImage(file, header, picture, jpeg ? *jpeg : JpegOptions{});
    case 9:
      return pngSaveImage(file, header, picture);
    default:
      return GfxResult::Unsupported;
  }
}

GfxResult CPictureDocument::SaveLayer(const std::string& file, int32_t index, bool png) {
  CLayerData* layer = paper_.Layer(index);
  if (!layer || !layer->pixels) return GfxResult::BadArgument;
  TMTC out;
  if (!out.Resize(paper_.width, paper_.height)) return GfxResult::NoMemory;
  // The store read at the layer's view position: the part the paper shows.
  layer->pixels->ReadRect(out, {0, 0}, false, 255, {layer->viewX, layer->viewY, paper_.width, paper_.height});
  const DibHeader header = MakeDibHeader(paper_.width, paper_.height, paper_.dpi);
  return png ? pngSaveImage(file, header, out) : bmpSaveImage(file, header, out);
}

int32_t CPictureDocument::SaveEvents(const std::string& file, bool guarded) {
  return SaveEventFile(file, paper_, recorder_, false, guarded);
}

}  // namespace tintara
