// The native layered picture file (.tci): the picture header, a thumbnail, every layer with
// its attributes and tiles, every mask, and the recorded events, as blocks. Pixel data goes
// in runs of tiles: tiles with memory compressed, uniform tiles as one 32-bit value each.
//
// The event data is not this library's to read: it is handed in and out as bytes through
// INativeEventData, which the event library implements.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "files/BlockFile.h"

namespace tintara {

class TPaper;
class TFlowImage;
class TMTC;
class CLayerData;

inline constexpr uint32_t kIdTPIM = BlockId("TPIM");
inline constexpr uint32_t kIdTLYR = BlockId("TLYR");
inline constexpr uint32_t kIdTBIM = BlockId("TBIM");
inline constexpr uint32_t kIdTMSK = BlockId("TMSK");
inline constexpr uint32_t kIdTBMK = BlockId("TBMK");
inline constexpr uint32_t kIdTEVP = BlockId("TEVP");
inline constexpr uint32_t kIdTBEV = BlockId("TBEV");
inline constexpr uint32_t kIdTEVS = BlockId("TEVS");

// Content flags of the header.
inline constexpr uint32_t kNativeLayers = 0x1;
inline constexpr uint32_t kNativeMasks = 0x2;
inline constexpr uint32_t kNativeThumbnail = 0x4;
inline constexpr uint32_t kNativeEvents = 0x8;
inline constexpr uint32_t kNativeSelectionShown = 0x10;
inline constexpr uint32_t kNativeSelectionEnabled = 0x20;
inline constexpr uint32_t kNativeTransparentPaper = 0x40;
inline constexpr uint32_t kNativeChecker = 0x80;
inline constexpr uint32_t kNativeLayerFields = 0x100;
inline constexpr uint32_t kNativeMaskFields = 0x200;

inline constexpr size_t kNativeHeaderBytes = 56;
inline constexpr size_t kLayerHeadBytes = 80;  // also the mask head
inline constexpr size_t kRunHeadBytes = 40;
inline constexpr size_t kPlacementRecordBytes = 72;
inline constexpr int32_t kNativeMaxSide = 10000;
// A compressed run expands to 4096 bytes a tile; the writer closes runs at 16 tiles and the
// reader takes up to this many, so no field can make it allocate more than 4 MiB at once.
inline constexpr uint32_t kMaxCompressedRunTiles = 1024;
inline constexpr uint32_t kRunTilesWritten = 16;
// The layer flag of a clipboard copy of the layer head.
inline constexpr uint16_t kLayerClipboardCopy = 0x40;

// Texts of the save and load.
inline constexpr const char* kLayerWordHalf = "ﾚｲﾔ";
inline constexpr const char* kMaskWordHalf = "ﾏｽｸ";
inline constexpr const char* kBlockSaveFailedFormat = "%s (\"%s\") の保存に失敗しました! (err=%d)";
inline constexpr const char* kBlockLoadFailedFormat = "%sの読み込みに失敗しました! (err=%d)";
inline constexpr const char* kLoadErrorFormat = "読み込み中にエラーが検出されました! (err=%d)";
inline constexpr const char* kUnknownBlocksFormat = "%d個の未知のデータブロックを無視しました!  (id = %s)";
inline constexpr const char* kEventBlockFailedText =
    "イベントデータ部の読み込みに失敗しました!\rイベントは破棄されました。";
inline constexpr const char* kOpenFailedFormat = "%s\rのオープンに失敗しました!  (err=%d)";
std::string OpenFailedMessage(const std::string& path, int32_t status);

// Texts of the progress a save or load shows.
inline constexpr const char* kSavingTitleFormat = "%s保存中 (%s)";  // the word, the file name
inline constexpr const char* kLoadingTitleFormat = "%sロード中 (%s)";
inline constexpr const char* kSavingStepFormat = "%sを保存しています...";
inline constexpr const char* kLoadingStepFormat = "%sをロードしています...";
inline constexpr const char* kPictureWord = "画像";
inline constexpr const char* kThumbnailWord = "サムネイル";
inline constexpr const char* kEventDataWord = "イベントデータ";

// Where a save or load reports how far it has come; the drawing window shows it as a progress
// dialog. A save has one step for the thumbnail and one per layer and mask it writes (and
// later one per event segment), a load one per layer and mask the header announces.
class INativeProgress {
 public:
  virtual ~INativeProgress() = default;
  virtual void Begin(const std::string& title, int32_t steps) = 0;
  virtual void AddSteps(int32_t steps) = 0;
  virtual void Text(const std::string& text) = 0;
  virtual void Step(int32_t steps = 1) = 0;
  virtual void End() = 0;
};

struct NativeHeader {
  int32_t width = 0, height = 0;
  uint32_t version = 1;
  uint32_t flags = 0;
  uint32_t paperColour = 0x00FFFFFF;
  uint16_t activeLayer = 0, activeMask = 0, dpi = 0;
  uint16_t layerCount = 0, layerCounter = 0, maskCount = 0, maskCounter = 0;
};

void EncodeNativeHeader(const NativeHeader& header, std::vector<uint8_t>& out);
// Reads and checks the 56-byte header at the reader's position: 9 short, 16 wrong id, 17 size
// not 48, 12 version above 1, 13 a side outside 1..10000.
int32_t ReadNativeHeader(BlockReader& reader, NativeHeader& header);

// The layer head record: the 72 bytes after the block head of "TLYR". The same bytes are the
// clipboard's layer attributes and the placement record of a paste packet.
struct LayerRecord {
  int32_t index = 0;
  uint16_t flags = 0;  // bit 0 visible, 1 protect alpha, 4 extended fields, 5 dither, 6 clipboard
  uint8_t mode = 0, opacity = 255;
  int32_t tileWidth = 32, tileHeight = 32, columns = 0, rows = 0;
  int32_t storeWidth = 0, storeHeight = 0;
  int32_t viewX = 0, viewY = 0, viewWidth = 0, viewHeight = 0;
  uint32_t fill = 0;
  uint16_t nameLength = 1, readerVersion = 0;
  uint8_t ditherAmount = 0, groupLevel = 0;
  uint32_t seed = 0;
};

LayerRecord LayerRecordOf(const CLayerData& layer);
void EncodeLayerRecord(const LayerRecord& record, std::vector<uint8_t>& out);  // 72 bytes
bool DecodeLayerRecord(std::span<const uint8_t> bytes, LayerRecord& record);
// The "TLYR" block head with the name (stored bytes) and its padding, without the runs.
void EncodeLayerHead(const CLayerData& layer, bool clipboardCopy, std::vector<uint8_t>& out);
// Takes a layer's attributes from a record (the clipboard's paste and paste packets): blend
// mode clamped to 0..21, opacity, view position, visible and protect alpha, the name when given.
void ApplyLayerAttributes(CLayerData& layer, const LayerRecord& record, const std::string* name);

// The event data of a picture, kept by the event library.
class INativeEventData {
 public:
  virtual ~INativeEventData() = default;
  // The packed event blocks ("TEVP" and its "TBEV" segments), appended to `out`; a status.
  virtual int32_t SaveEvents(int32_t width, int32_t height, std::vector<uint8_t>& out) = 0;
  // Reads the event blocks at the start of `blocks` ("TEVP" and segments, or "TEVS"); `used`
  // says how many bytes they took. A status.
  virtual int32_t LoadEvents(std::span<const uint8_t> blocks, size_t& used) = 0;
  // A damaged event block: every event of the picture goes.
  virtual void DiscardEvents() = 0;
  // The end of a load that opened the picture; `eventsRead` when an event block was read.
  virtual void LoadFinished(bool eventsRead) = 0;
  // The progress steps the saving of the events takes: one per memory segment of the store.
  virtual int32_t SaveSteps() const { return 0; }
};

struct NativeSaveResult {
  bool saved = false;     // the file on disk is the new one
  int32_t status = 0;     // the worst status of every step
  uint32_t contents = 0;  // the content flags the file holds
};

// What the drawing window saves: layers and thumbnail always, masks when there is more than one
// or the selection is in use, events when asked (the recorder holds events and records).
uint32_t DefaultNativeContents(const TPaper& paper, bool events);
// Writes the picture into the sink. A layer or mask that fails is cut out again and makes
// the save fail; a thumbnail or event block that fails is cut out and its flag cleared.
NativeSaveResult WriteNativeFile(IBlockSink& sink, TPaper& paper, uint32_t contents,
                                 INativeEventData* events = nullptr, INativeProgress* progress = nullptr,
                                 const std::string& fileName = {});
// Writes the picture through a temporary file in the same folder that replaces `path` only
// when every block is written and on disk: a save that fails leaves the old file as it was.
NativeSaveResult SaveNativeFile(const std::string& path, TPaper& paper, uint32_t contents,
                                INativeEventData* events = nullptr, INativeProgress* progress = nullptr);

struct NativeLoadResult {
  int32_t status = 0;   // the worst status of every step
  bool opened = false;  // the picture is usable (the header and paper were set up)
};

// Fills a freshly created paper from a picture file. Damaged layers, masks, thumbnails or event
// blocks are reported and skipped; the picture is given up only when the header or the paper
// cannot be set up.
NativeLoadResult LoadNativeFile(const std::string& path, TPaper& paper, TFlowImage& flow,
                                INativeEventData* events = nullptr, INativeProgress* progress = nullptr);
// `title` is the file name: the picture's title and the progress title's.
NativeLoadResult ReadNativeFile(const IByteSource& source, TPaper& paper, TFlowImage& flow,
                                INativeEventData* events, const std::string& title,
                                INativeProgress* progress = nullptr);

// The open dialog's preview: the first colour thumbnail of a picture file (whose header gives the
// picture size) or of an event file (whose event block gives it).
int32_t ReadFileThumbnail(const std::string& path, TMTC& image, int32_t& width, int32_t& height);
int32_t ReadThumbnailFrom(const IByteSource& source, TMTC& image, int32_t& width, int32_t& height);

}  // namespace tintara
