#include "files/NativeFile.h"

#include <algorithm>
#include <bit>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "document/Paper.h"
#include "files/GraphicsLibCompress.h"
#include "files/ImageBlock.h"
#include "pixel/ByteIO.h"
#include "pixel/DibCore.h"
#include "platform/Notify.h"
#include "platform/TextCodec.h"

namespace tintara {

// Tile memory is copied to and from the file as it is: pixels B, G, R, A in memory order.
static_assert(std::endian::native == std::endian::little, "the tile copies assume a little-endian host");

namespace {

constexpr uint32_t kTileBytes = 4096;
// Layer view positions and mask offsets beyond this are refused: the range the paper keeps
// layer positions in, far from overflow in paper coordinates.
constexpr int32_t kMaxOffset = kMaxBufferSide;

std::string Format(const char* format, ...) {
  char buf[1024];
  va_list args;
  va_start(args, format);
  std::vsnprintf(buf, sizeof buf, format, args);
  va_end(args);
  return buf;
}

// Names are kept as UTF-8 and stored in the Japanese code page; a name the code page cannot
// hold is stored as it is.
std::string StoredName(const std::string& name) { return Utf8ToCp932(name).value_or(name); }

// The progress of one save or load; nothing is reported without a receiver. The dialog is
// closed on every way out.
class Progress {
 public:
  explicit Progress(INativeProgress* receiver) : p_(receiver) {}
  ~Progress() {
    if (p_ && begun_) p_->End();
  }
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;
  void Begin(const char* format, const std::string& fileName, int32_t steps) {
    if (!p_) return;
    p_->Begin(Format(format, kPictureWord, fileName.c_str()), steps);
    begun_ = true;
  }
  void AddSteps(int32_t n) {
    if (p_ && n > 0) p_->AddSteps(n);
  }
  void Text(const char* format, const std::string& word) {
    if (p_) p_->Text(Format(format, word.c_str()));
  }
  void Step(int32_t n = 1) {
    if (p_ && n > 0) p_->Step(n);
  }

 private:
  INativeProgress* p_;
  bool begun_ = false;
};

std::string FileNameOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

int32_t Ceil32(int32_t v, int32_t side) { return int32_t((int64_t(v) + side - 1) / side); }

// The run blocks of layers and masks differ in their id, tile side and status codes.
struct RunKind {
  uint32_t id;
  int32_t side;
  uint32_t valueMask;  // of a uniform value
  int32_t geometry, count, kind, sizes, tile;
};
constexpr RunKind kLayerRuns{kIdTBIM,
                             32,
                             0xFFFFFFFFu,
                             kFileLayerGeometry,
                             kFileLayerRunCount,
                             kFileLayerRunKind,
                             kFileLayerRunSizes,
                             kFileLayerTile};
constexpr RunKind kMaskRuns{
    kIdTBMK,           64,           0xFFu, kFileMaskGeometry, kFileMaskRunCount, kFileMaskRunKind,
    kFileMaskRunSizes, kFileMaskTile};

void RunHead(std::vector<uint8_t>& out, const RunKind& k, uint32_t size, uint32_t kind, uint32_t n,
             uint32_t compressed, uint32_t expanded) {
  PutBlockHead(out, k.id, size);
  ByteWriter w(out);
  w.u32(uint32_t(k.side));
  w.u32(uint32_t(k.side));
  w.u32(kind);
  w.u32(n);
  w.u32(compressed);
  w.u32(expanded);
  w.zeros(8);
}

// Cuts the tiles into runs in row-major order: tiles with memory (at most 16 a run) and tiles
// without (any number), and writes each run as its block.
int32_t WriteRuns(IBlockSink& sink, const CBlockImage& image, const RunKind& k) {
  if (image.TileWidth() != k.side || image.TileHeight() != k.side || image.TileBytes() != int32_t(kTileBytes))
    return k.geometry;
  const STileRec* t = image.Tiles();
  const int32_t n = image.TileCount();
  std::vector<uint8_t> raw, packed, block;
  for (int32_t i = 0; i < n;) {
    const bool alloc = t[i].allocated != 0;
    int32_t j = i + 1;
    while (j < n && (t[j].allocated != 0) == alloc && (!alloc || uint32_t(j - i) < kRunTilesWritten)) ++j;
    const auto count = uint32_t(j - i);
    block.clear();
    if (alloc) {
      raw.resize(size_t(count) * kTileBytes);
      for (uint32_t m = 0; m < count; ++m)
        std::memcpy(raw.data() + m * kTileBytes, t[i + int32_t(m)].data, kTileBytes);
      packed.clear();
      if (CompressToMemory(raw.data(), raw.size(), packed) != GfxResult::Ok) return kFileNoMemory;
      RunHead(block, k, uint32_t(32 + Padded4(packed.size())), 1, count, uint32_t(packed.size()),
              count * kTileBytes);
      block.insert(block.end(), packed.begin(), packed.end());
      block.resize(block.size() + size_t(Padded4(packed.size()) - packed.size()), 0);
    } else {
      RunHead(block, k, 32 + 4 * count, 2, count, 0, 4 * count);
      ByteWriter w(block);
      for (uint32_t m = 0; m < count; ++m) w.u32(t[i + int32_t(m)].fill & k.valueMask);
    }
    if (!sink.Write(block)) return kFileShortWrite;
    i = j;
  }
  return kFileOk;
}

// Reads runs until every tile of the image is covered. Tiles get their memory or their value
// in row-major order; every count and size is checked before it is used.
int32_t ReadRuns(BlockReader& r, CBlockImage& image, const RunKind& k) {
  const uint64_t total = uint64_t(image.TileCount());
  const int32_t columns = image.TilesAcross();
  uint64_t covered = 0;
  std::vector<uint8_t> packed, raw;
  while (covered < total) {
    const uint64_t start = r.Position();
    uint8_t head[kRunHeadBytes];
    if (!r.Read(head, sizeof head)) return kFileShortRead;
    ByteReader h(head, sizeof head);
    const uint32_t id = h.u32(), size = h.u32(), tw = h.u32(), th = h.u32(), kind = h.u32(), n = h.u32(),
                   compressed = h.u32(), expanded = h.u32();
    if (id != k.id) return kFileBadId;
    if (size < 32) return kFileBadSize;
    const uint64_t end = start + kBlockHeadBytes + size;
    if (end > r.Size()) return kFilePastEnd;
    if (tw != uint32_t(k.side) || th != uint32_t(k.side)) return k.geometry;
    if (kind != 1 && kind != 2) return k.kind;
    if (n < 1) return k.count;
    if (n > total - covered) return k.sizes;
    const uint64_t body = size - 32;
    if (kind == 1) {
      if (n > kMaxCompressedRunTiles || uint64_t(expanded) != uint64_t(n) * kTileBytes) return k.sizes;
      if (compressed < 1 || compressed > body) return k.sizes;
      packed.resize(compressed);
      raw.resize(expanded);
      if (!r.Read(packed.data(), packed.size())) return kFileShortRead;
      if (Expand(packed.data(), packed.size(), raw.data(), raw.size()) != GfxResult::Ok) return k.sizes;
      for (uint32_t m = 0; m < n; ++m) {
        const uint64_t at = covered + m;
        STileRec* t =
            image.TileAtIndex(int32_t(at % uint64_t(columns)), int32_t(at / uint64_t(columns)), false);
        if (!t || !image.AllocTile(*t)) return k.tile;
        std::memcpy(t->data, raw.data() + size_t(m) * kTileBytes, kTileBytes);
      }
    } else {
      if (4 * uint64_t(n) > body) return k.sizes;
      raw.resize(size_t(4) * n);
      if (!r.Read(raw.data(), raw.size())) return kFileShortRead;
      ByteReader v(raw.data(), raw.size());
      for (uint32_t m = 0; m < n; ++m) {
        const uint64_t at = covered + m;
        STileRec* t =
            image.TileAtIndex(int32_t(at % uint64_t(columns)), int32_t(at / uint64_t(columns)), false);
        if (!t) return k.tile;
        const uint32_t value = v.u32() & k.valueMask;
        if (t->allocated) {
          // Never the case for a fresh store; kept exact all the same.
          for (uint32_t b = 0; b < kTileBytes / uint32_t(image.BytesPerPixel()); ++b) {
            if (image.BytesPerPixel() == 4)
              std::memcpy(t->data + 4 * b, &value, 4);
            else
              t->data[b] = uint8_t(value);
          }
        }
        t->fill = value;
      }
    }
    if (!r.Seek(end)) return kFileSeekFailed;
    covered += n;
  }
  return kFileOk;
}

}  // namespace

std::string OpenFailedMessage(const std::string& path, int32_t status) {
  return Format(kOpenFailedFormat, path.c_str(), int(status));
}

// --- header ----------------------------------------------------------------------------------

void EncodeNativeHeader(const NativeHeader& h, std::vector<uint8_t>& out) {
  PutBlockHead(out, kIdTPIM, 48);
  ByteWriter w(out);
  w.i32(h.width);
  w.i32(h.height);
  w.u32(h.version);
  w.u16(4);
  w.u16(6);
  w.u32(h.flags);
  w.u32(h.paperColour);
  w.u16(h.activeLayer);
  w.u16(h.activeMask);
  w.u16(h.dpi);
  w.u16(0);
  w.u16(h.layerCount);
  w.u16(h.layerCounter);
  w.u16(h.maskCount);
  w.u16(h.maskCounter);
  w.zeros(8);
}

int32_t ReadNativeHeader(BlockReader& reader, NativeHeader& h) {
  uint8_t b[kNativeHeaderBytes];
  if (!reader.Read(b, sizeof b)) return kFileShortRead;
  ByteReader r(b, sizeof b);
  const uint32_t id = r.u32(), size = r.u32();
  NativeHeader x;
  x.width = r.i32();
  x.height = r.i32();
  x.version = r.u32();
  r.skip(4);
  x.flags = r.u32();
  x.paperColour = r.u32() & 0x00FFFFFF;
  x.activeLayer = r.u16();
  x.activeMask = r.u16();
  x.dpi = r.u16();
  r.skip(2);
  x.layerCount = r.u16();
  x.layerCounter = r.u16();
  x.maskCount = r.u16();
  x.maskCounter = r.u16();
  if (id != kIdTPIM) return kFileBadId;
  if (size != 48) return kFileBadSize;
  if (x.version > 1) return kFileNewerVersion;
  // A side of 0 or below is as unusable as one above the limit.
  if (x.width < 1 || x.height < 1 || x.width > kNativeMaxSide || x.height > kNativeMaxSide)
    return kFileTooLarge;
  h = x;
  return kFileOk;
}

// --- layer record ------------------------------------------------------------------------------

LayerRecord LayerRecordOf(const CLayerData& l) {
  LayerRecord r;
  r.index = l.index;
  r.flags = uint16_t((l.visible ? 1 : 0) | (l.protectAlpha ? 2 : 0) | 0x10 | (l.ditherOn ? 0x20 : 0));
  r.mode = l.mode;
  r.opacity = l.opacity;
  r.tileWidth = r.tileHeight = 32;
  if (l.pixels && l.pixels->IsValid()) {
    r.tileWidth = l.pixels->TileWidth();
    r.tileHeight = l.pixels->TileHeight();
    r.columns = l.pixels->TilesAcross();
    r.rows = l.pixels->TilesDown();
    r.storeWidth = l.pixels->Width();
    r.storeHeight = l.pixels->Height();
    r.fill = l.pixels->DefaultFill();
  }
  r.viewX = l.viewX;
  r.viewY = l.viewY;
  r.viewWidth = l.viewWidth;
  r.viewHeight = l.viewHeight;
  r.readerVersion = EffectiveMode(l.mode) <= 3 ? 0 : 1;
  r.ditherAmount = l.ditherAmount;
  r.groupLevel = uint8_t(std::clamp(l.groupLevel, 0, kMaxGroupLevel));
  r.seed = l.random.seed;
  return r;
}

void EncodeLayerRecord(const LayerRecord& r, std::vector<uint8_t>& out) {
  ByteWriter w(out);
  w.i32(r.index);
  w.u16(r.flags);
  w.u8(r.mode);
  w.u8(r.opacity);
  w.i32(r.tileWidth);
  w.i32(r.tileHeight);
  w.i32(r.columns);
  w.i32(r.rows);
  w.i32(r.storeWidth);
  w.i32(r.storeHeight);
  w.i32(r.viewX);
  w.i32(r.viewY);
  w.i32(r.viewWidth);
  w.i32(r.viewHeight);
  w.u32(r.fill);
  w.u16(r.nameLength);
  w.u16(r.readerVersion);
  w.u8(r.ditherAmount);
  w.u8(r.groupLevel);
  w.u16(0);
  w.u32(r.seed);
  w.zeros(8);
}

bool DecodeLayerRecord(std::span<const uint8_t> bytes, LayerRecord& out) {
  if (bytes.size() < kPlacementRecordBytes) return false;
  ByteReader r(bytes.data(), kPlacementRecordBytes);
  LayerRecord x;
  x.index = r.i32();
  x.flags = r.u16();
  x.mode = r.u8();
  x.opacity = r.u8();
  x.tileWidth = r.i32();
  x.tileHeight = r.i32();
  x.columns = r.i32();
  x.rows = r.i32();
  x.storeWidth = r.i32();
  x.storeHeight = r.i32();
  x.viewX = r.i32();
  x.viewY = r.i32();
  x.viewWidth = r.i32();
  x.viewHeight = r.i32();
  x.fill = r.u32();
  x.nameLength = r.u16();
  x.readerVersion = r.u16();
  x.ditherAmount = r.u8();
  x.groupLevel = r.u8();
  r.skip(2);
  x.seed = r.u32();
  if (!r.ok()) return false;
  out = x;
  return true;
}

void EncodeLayerHead(const CLayerData& layer, bool clipboardCopy, std::vector<uint8_t>& out) {
  const std::string name = StoredName(layer.name);
  const uint64_t withZero = uint64_t(name.size()) + 1;
  LayerRecord r = LayerRecordOf(layer);
  if (clipboardCopy) r.flags |= kLayerClipboardCopy;
  r.nameLength = uint16_t(std::min<uint64_t>(withZero, 0xFFFF));
  PutBlockHead(out, kIdTLYR, uint32_t(72 + Padded4(withZero)));
  EncodeLayerRecord(r, out);
  out.insert(out.end(), name.begin(), name.end());
  out.resize(out.size() + size_t(Padded4(withZero) - name.size()), 0);
}

void ApplyLayerAttributes(CLayerData& layer, const LayerRecord& r, const std::string* name) {
  layer.mode = uint8_t(std::min<uint32_t>(r.mode, 21));
  layer.opacity = r.opacity;
  // The view goes where the record says, also outside the store (a layer that was moved): a
  // copy pasted back lands where it was. Only the range every layer position keeps is enforced.
  layer.viewX = std::clamp(r.viewX, -kMaxOffset, kMaxOffset);
  layer.viewY = std::clamp(r.viewY, -kMaxOffset, kMaxOffset);
  layer.visible = (r.flags & 1) ? 1 : 0;
  layer.protectAlpha = (r.flags & 2) ? 1 : 0;
  if (layer.pixels) layer.pixels->SetDefaultFill(r.fill);
  if (name) layer.name = *name;
  layer.RenderThumbnail();
}

// --- saving ------------------------------------------------------------------------------------

uint32_t DefaultNativeContents(const TPaper& paper, bool events) {
  uint32_t c = kNativeLayers | kNativeThumbnail;
  const CMaskData* active = paper.masks.Active();
  const bool selectionInUse = paper.selectionEnabled && active && active->HasChannel();
  if (paper.masks.Count() > 1 || selectionInUse) c |= kNativeMasks;
  if (events) c |= kNativeEvents;
  return c;
}

namespace {

int32_t WriteLayer(IBlockSink& sink, const CLayerData& layer) {
  const uint64_t start = sink.Position();
  std::vector<uint8_t> head;
  EncodeLayerHead(layer, false, head);
  int32_t s = sink.Write(head) ? kFileOk : kFileShortWrite;
  const CBlockVMTC* store = layer.pixels.get();
  if (s == kFileOk &&
      (!store || !store->IsValid() || store->Width() > kNativeMaxSide || store->Height() > kNativeMaxSide ||
       std::abs(int64_t(layer.viewX)) > kMaxOffset || std::abs(int64_t(layer.viewY)) > kMaxOffset))
    s = kFileLayerGeometry;
  if (s == kFileOk) s = WriteRuns(sink, *store, kLayerRuns);
  if (s != kFileOk) sink.Truncate(start);
  return s;
}

int32_t WriteMask(IBlockSink& sink, const CMaskData& mask, int32_t paperWidth, int32_t paperHeight) {
  const uint64_t start = sink.Position();
  const std::string name = StoredName(mask.displayName);
  const uint64_t withZero = uint64_t(name.size()) + 1;
  const CBlockVCH* c = mask.HasChannel() ? mask.channel.get() : nullptr;
  std::vector<uint8_t> head;
  PutBlockHead(head, kIdTMSK, uint32_t(72 + Padded4(withZero)));
  ByteWriter w(head);
  w.i32(mask.id);
  w.u16(c ? 1 : 0);
  w.u16(0);
  w.i32(c ? c->TileWidth() : 0);
  w.i32(c ? c->TileHeight() : 0);
  w.i32(c ? c->TilesAcross() : 0);
  w.i32(c ? c->TilesDown() : 0);
  w.i32(c ? c->Width() : 0);
  w.i32(c ? c->Height() : 0);
  w.i32(c ? mask.offsetX : 0);
  w.i32(c ? mask.offsetY : 0);
  w.i32(paperWidth);
  w.i32(paperHeight);
  w.u32(c ? c->DefaultFill() : 0);
  w.u16(uint16_t(std::min<uint64_t>(withZero, 0xFFFF)));
  w.u16(0);
  w.zeros(16);
  w.bytes(name.data(), name.size());
  w.zeros(size_t(Padded4(withZero) - name.size()));
  int32_t s = sink.Write(head) ? kFileOk : kFileShortWrite;
  if (s == kFileOk && c) {
    if (c->Width() > kNativeMaxSide || c->Height() > kNativeMaxSide || std::abs(mask.offsetX) > kMaxOffset ||
        std::abs(mask.offsetY) > kMaxOffset)
      s = kFileMaskGeometry;
    else
      s = WriteRuns(sink, *c, kMaskRuns);
  }
  if (s != kFileOk) sink.Truncate(start);
  return s;
}

}  // namespace

NativeSaveResult WriteNativeFile(IBlockSink& sink, TPaper& paper, uint32_t contents, INativeEventData* events,
                                 INativeProgress* progressTo, const std::string& fileName) {
  NativeSaveResult result;
  Progress progress(progressTo);
  try {
    contents &= kNativeLayers | kNativeMasks | kNativeThumbnail | kNativeEvents;
    if (!events) contents &= ~uint32_t(kNativeEvents);
    NativeHeader h;
    h.width = paper.width;
    h.height = paper.height;
    h.flags = contents | (paper.paperColorOn ? 0 : kNativeTransparentPaper) |
              (paper.showChecker ? kNativeChecker : 0);
    h.paperColour = paper.paperColor & 0x00FFFFFF;
    h.dpi = uint16_t(std::clamp(paper.dpi, 0, 0xFFFF));
    if (contents & kNativeLayers) {
      h.flags |= kNativeLayerFields;
      h.activeLayer = uint16_t(std::max(0, paper.ActiveIndex()));
      h.layerCount = uint16_t(std::min(paper.LayerCount(), 0xFFFF));
      h.layerCounter = uint16_t(std::clamp(paper.layers.NameCounter(), 0, 0xFFFF));
    }
    if (contents & kNativeMasks) {
      h.flags |= kNativeMaskFields | (paper.selectionVisible ? kNativeSelectionShown : 0) |
                 (paper.selectionEnabled ? kNativeSelectionEnabled : 0);
      h.activeMask = uint16_t(std::max(0, paper.masks.ActiveIndex()));
      h.maskCount = uint16_t(std::min(paper.masks.Count(), 0xFFFF));
      h.maskCounter = uint16_t(std::clamp(paper.masks.NameCounter(), 0, 0xFFFF));
    }
    if (paper.LayerCount() > 0xFFFF || paper.masks.Count() > 0xFFFF) {
      result.status = kFileBadSize;
      return result;
    }
    progress.Begin(kSavingTitleFormat, fileName,
                   ((contents & kNativeThumbnail) ? 1 : 0) +
                       ((contents & kNativeLayers) ? paper.LayerCount() : 0) +
                       ((contents & kNativeMasks) ? paper.masks.Count() : 0));
    std::vector<uint8_t> bytes;
    EncodeNativeHeader(h, bytes);
    const uint64_t headerAt = sink.Position();
    if (!sink.Write(bytes)) {
      result.status = kFileShortWrite;
      return result;
    }
    int32_t status = kFileOk;
    bool essentialFailed = false;
    uint32_t flags = h.flags;
    // A part whose block fails is cut out again and its flag cleared.
    auto optional = [&](uint32_t flag, int32_t s, uint64_t start) {
      if (s == kFileOk) return;
      sink.Truncate(start);
      flags &= ~flag;
      status = WorseStatus(status, s);
    };
    if (contents & kNativeThumbnail) {
      progress.Text(kSavingStepFormat, kThumbnailWord);
      const uint64_t start = sink.Position();
      bytes.clear();
      int32_t s = EncodeThumbnailBlock(paper, 2, bytes);
      if (s == kFileOk && !sink.Write(bytes)) s = kFileShortWrite;
      optional(kNativeThumbnail, s, start);
      progress.Step();
    }
    if (contents & kNativeLayers) {
      for (int32_t i = 0; i < paper.LayerCount(); ++i) {
        const CLayerData& layer = *paper.Layer(i);
        progress.Text(kSavingStepFormat, layer.name);
        const int32_t s = WriteLayer(sink, layer);
        progress.Step();
        if (s == kFileOk) continue;
        ShowWarning(Format(kBlockSaveFailedFormat, kLayerWordHalf, layer.name.c_str(), int(s)));
        status = WorseStatus(status, s);
        essentialFailed = true;
        if (s == kFileShortWrite) break;
      }
    }
    if ((contents & kNativeMasks) && !(essentialFailed && status == kFileShortWrite)) {
      for (int32_t i = 0; i < paper.masks.Count(); ++i) {
        const CMaskData& mask = *paper.masks.At(i);
        progress.Text(kSavingStepFormat, mask.displayName);
        const int32_t s = WriteMask(sink, mask, paper.width, paper.height);
        progress.Step();
        if (s == kFileOk) continue;
        ShowWarning(Format(kBlockSaveFailedFormat, kMaskWordHalf, mask.displayName.c_str(), int(s)));
        status = WorseStatus(status, s);
        essentialFailed = true;
        if (s == kFileShortWrite) break;
      }
    }
    if ((contents & kNativeEvents) && !essentialFailed) {
      const int32_t steps = events->SaveSteps();
      progress.AddSteps(steps);
      progress.Text(kSavingStepFormat, kEventDataWord);
      const uint64_t start = sink.Position();
      bytes.clear();
      int32_t s = events->SaveEvents(paper.width, paper.height, bytes);
      if (s == kFileOk && !sink.Write(bytes)) s = kFileShortWrite;
      optional(kNativeEvents, s, start);
      progress.Step(steps);
    }
    if (flags != h.flags) {
      uint8_t f[4] = {uint8_t(flags), uint8_t(flags >> 8), uint8_t(flags >> 16), uint8_t(flags >> 24)};
      if (!sink.WriteAt(headerAt + 24, f, 4)) {
        status = WorseStatus(status, kFileShortWrite);
        essentialFailed = true;
      }
    }
    result.saved = !essentialFailed;
    result.status = status;
    result.contents = flags & 0xF;
    return result;
  } catch (const std::bad_alloc&) {
    result.saved = false;
    result.status = kFileNoMemory;
    return result;
  } catch (const std::exception&) {
    result.saved = false;
    result.status = kFileException;
    return result;
  }
}

NativeSaveResult SaveNativeFile(const std::string& path, TPaper& paper, uint32_t contents,
                                INativeEventData* events, INativeProgress* progress) {
  WaitCursor busy;
  AtomicFileSink sink;
  NativeSaveResult result;
  result.status = sink.Open(path);
  if (result.status != kFileOk) return result;
  result = WriteNativeFile(sink, paper, contents, events, progress, FileNameOf(path));
  if (!result.saved) {
    sink.Abort();
    if (result.status == kFileOk) result.status = kFileShortWrite;
    return result;
  }
  const int32_t committed = sink.Commit();
  if (committed != kFileOk) {
    result.saved = false;
    result.status = WorseStatus(committed, result.status);
  }
  return result;
}

// --- loading -----------------------------------------------------------------------------------

namespace {

class Loader {
 public:
  Loader(BlockReader& r, TPaper& paper, TFlowImage& flow, INativeEventData* events, const NativeHeader& h,
         Progress& progress)
      : r_(r), paper_(paper), flow_(flow), events_(events), h_(h), progress_(progress) {}

  int32_t BlockLoop();
  void Finish();

  int32_t layersMet = 0, masksMet = 0;
  bool eventsRead = false;
  std::vector<std::unique_ptr<CMaskData>> masks;

 private:
  int32_t ReadLayer(const BlockHead& head);
  int32_t ReadMask(const BlockHead& head);
  int32_t ReadEventBlocks(const BlockHead& head);
  int32_t ReadName(const BlockHead& head, std::string& name);

  BlockReader& r_;
  TPaper& paper_;
  TFlowImage& flow_;
  INativeEventData* events_;
  const NativeHeader& h_;
  Progress& progress_;
};

int32_t Loader::ReadName(const BlockHead& head, std::string& name) {
  const uint64_t n = uint64_t(head.size) - 72;
  if (n > r_.Left()) return kFilePastEnd;
  std::string bytes(size_t(n), '\0');
  if (!r_.Read(bytes.data(), bytes.size())) return kFileShortRead;
  bytes.resize(std::strlen(bytes.c_str()));
  name = Cp932ToUtf8(bytes);
  return kFileOk;
}

int32_t Loader::ReadLayer(const BlockHead& head) {
  if (head.size < 72) return kFileBadSize;
  uint8_t b[72];
  if (!r_.Read(b, sizeof b)) return kFileShortRead;
  LayerRecord rec;
  DecodeLayerRecord(b, rec);
  if (rec.readerVersion > 1) return kFileNewerVersion;
  // The geometry must be one this store has and agree with itself and the picture.
  if (rec.tileWidth != 32 || rec.tileHeight != 32) return kFileLayerGeometry;
  if (rec.storeWidth < 1 || rec.storeHeight < 1 || rec.storeWidth > kNativeMaxSide ||
      rec.storeHeight > kNativeMaxSide)
    return kFileLayerGeometry;
  if (rec.columns != Ceil32(rec.storeWidth, 32) || rec.rows != Ceil32(rec.storeHeight, 32))
    return kFileLayerGeometry;
  // A moved layer's view may reach past its store (the paper shows nothing of the layer
  // there), so the view position is only kept where paper and store coordinates cannot overflow.
  if (rec.viewWidth != paper_.width || rec.viewHeight != paper_.height ||
      std::abs(int64_t(rec.viewX)) > kMaxOffset || std::abs(int64_t(rec.viewY)) > kMaxOffset)
    return kFileLayerGeometry;
  std::string name;
  if (const int32_t s = ReadName(head, name); s != kFileOk) return s;
  progress_.Text(kLoadingStepFormat, name);
  const int32_t index = rec.index >= 0 && rec.index <= paper_.LayerCount() ? rec.index : paper_.LayerCount();
  const int32_t at =
      paper_.AddLayer(index, rec.storeWidth, (rec.flags & 1) != 0, rec.opacity, rec.mode, rec.storeHeight);
  if (at < 0) return kFileLayerAdd;
  CLayerData& l = *paper_.Layer(at);
  l.viewX = rec.viewX;
  l.viewY = rec.viewY;
  l.viewWidth = rec.viewWidth;
  l.viewHeight = rec.viewHeight;
  l.protectAlpha = (rec.flags & 2) ? 1 : 0;
  if (rec.flags & 0x10) {
    l.ditherOn = (rec.flags & 0x20) ? 1 : 0;
    l.ditherAmount = rec.ditherAmount;
    Seed(l.random, rec.seed, 0, 255);
  }
  l.SetGroupLevel(std::min<int32_t>(rec.groupLevel, kMaxGroupLevel));
  l.name = name;
  CBlockVMTC& store = *l.pixels;
  store.SetDefaultFill(rec.fill);
  store.FillAll(rec.fill);
  const int32_t s = ReadRuns(r_, store, kLayerRuns);
  store.Compact();
  store.RebuildRegion();
  l.RenderThumbnail();
  progress_.Step();
  return s;
}

int32_t Loader::ReadMask(const BlockHead& head) {
  if (head.size < 72) return kFileBadSize;
  uint8_t b[72];
  if (!r_.Read(b, sizeof b)) return kFileShortRead;
  ByteReader h(b, sizeof b);
  h.i32();  // the list renumbers the masks
  const uint16_t flags = h.u16();
  h.skip(2);
  const int32_t tw = h.i32(), th = h.i32(), columns = h.i32(), rows = h.i32(), sw = h.i32(), sh = h.i32(),
                ox = h.i32(), oy = h.i32();
  h.skip(8);
  const uint32_t fill = h.u32();
  h.u16();
  const uint16_t version = h.u16();
  if (version != 0) return kFileNewerVersion;
  const bool channel = flags & 1;
  if (channel) {
    if (tw != 64 || th != 64 || sw < 1 || sh < 1 || sw > kNativeMaxSide || sh > kNativeMaxSide ||
        columns != Ceil32(sw, 64) || rows != Ceil32(sh, 64) || std::abs(int64_t(ox)) > kMaxOffset ||
        std::abs(int64_t(oy)) > kMaxOffset)
      return kFileMaskGeometry;
  }
  std::string name;
  if (const int32_t s = ReadName(head, name); s != kFileOk) return s;
  auto mask = std::make_unique<CMaskData>();
  mask->displayName = name;
  int32_t s = kFileOk;
  if (channel) {
    if (!mask->CreateChannel(sw, sh)) return kFileMaskCreate;
    mask->offsetX = ox;
    mask->offsetY = oy;
    mask->channel->FillAll(uint8_t(fill));
    s = ReadRuns(r_, *mask->channel, kMaskRuns);
    mask->channel->Compact();
  }
  // A mask that failed part-way keeps what was read, as a layer does.
  masks.push_back(std::move(mask));
  progress_.Step();
  return s;
}

int32_t Loader::ReadEventBlocks(const BlockHead& head) {
  progress_.Text(kLoadingStepFormat, kEventDataWord);
  // The head and the segments that follow it are handed over together.
  uint64_t end = head.End();
  if (end > r_.Size()) return kFilePastEnd;
  if (head.id == kIdTEVP) {
    BlockReader scan(r_.Source());
    BlockHead next;
    while (scan.Seek(end) && scan.PeekHead(next) == kFileOk && next.id == kIdTBEV && next.End() <= r_.Size())
      end = next.End();
  }
  if (!events_) {
    // No recorder to take them: the events are lost, and the user is told so.
    ShowWarning(kEventBlockFailedText);
    r_.Seek(end);
    return kFileNoRecorder;
  }
  std::vector<uint8_t> bytes(size_t(end - head.offset));
  if (!r_.Source().ReadAt(head.offset, bytes.data(), bytes.size())) return kFileShortRead;
  size_t used = 0;
  const int32_t s = events_->LoadEvents(bytes, used);
  if (s == kFileOk && used > 0 && used <= bytes.size()) {
    r_.Seek(head.offset + used);
    eventsRead = true;
    return kFileOk;
  }
  ShowWarning(kEventBlockFailedText);
  events_->DiscardEvents();
  eventsRead = false;
  // The failed head takes its segments with it.
  r_.Seek(end);
  return s == kFileOk ? kFileBadSize : s;
}

int32_t Loader::BlockLoop() {
  // A failure stays the result; a skipped block counts only when it was the last one (a
  // thumbnail in front of the layers is no error, a file that ends with one is).
  int32_t failure = kFileOk, last = kFileOk;
  auto result = [&] { return failure != kFileOk ? failure : last; };
  int32_t unknown = 0;
  uint32_t lastUnknown = 0;
  while (!r_.AtEnd()) {
    BlockHead head;
    if (r_.ReadHead(head) != kFileOk) {
      if (failure == kFileOk) failure = kFileShortRead;
      return result();
    }
    int32_t s = kFileOk;
    bool consumed = false;  // the handler left the position after what it read
    switch (head.id) {
      case kIdTLYR:
        ++layersMet;
        s = ReadLayer(head);
        if (s != kFileOk) ShowWarning(Format(kBlockLoadFailedFormat, kLayerWordHalf, int(s)));
        break;
      case kIdTMSK:
        ++masksMet;
        s = ReadMask(head);
        if (s != kFileOk) ShowWarning(Format(kBlockLoadFailedFormat, kMaskWordHalf, int(s)));
        break;
      case kIdTEVP:
      case kIdTEVS:
        s = ReadEventBlocks(head);
        consumed = s != kFilePastEnd && s != kFileShortRead;
        break;
      case kIdTTNL:
        s = kFileThumbnailSkipped;
        break;
      case kIdTBIM:
      case kIdTBMK:
      case kIdTBEV:
        s = kFileStrayRun;
        break;
      default:
        s = kFileBadId;
        ++unknown;
        lastUnknown = head.id;
        break;
    }
    last = s;
    if (s != kFileOk && !IsSkipStatus(s) && failure == kFileOk) failure = s;
    if (s == kFileOk || consumed) continue;
    // The next block starts after this one's size; a size cannot point backwards since it is
    // unsigned and counted from past the head.
    const uint64_t next = head.End();
    if (next > r_.Size() || !r_.Seek(next)) {
      if (failure == kFileOk) failure = next > r_.Size() ? kFilePastEnd : kFileSeekFailed;
      break;
    }
  }
  if (unknown > 0) ShowWarning(Format(kUnknownBlocksFormat, int(unknown), BlockIdText(lastUnknown).c_str()));
  return result();
}

void Loader::Finish() {
  // The counters that name new layers and masks.
  if (h_.flags & kNativeLayerFields)
    paper_.layers.NameLayer(-1, int32_t(h_.layerCounter) - paper_.layers.NameCounter());
  if (h_.flags & kNativeMaskFields) paper_.masks.SetNameCounter(h_.maskCounter);
  if (paper_.LayerCount() == 0) {
    const int32_t at = paper_.AddLayer(0, paper_.width, true, 255, kModeNormal, paper_.height);
    if (at >= 0) {
      paper_.layers.NameLayer(at, 1);
      CLayerData& l = *paper_.Layer(at);
      l.SetNeutral();
      l.SetAlpha(paper_.paperColorOn ? 255 : 0);
      l.RenderThumbnail();
    }
  }
  if (!masks.empty()) {
    const int32_t active = std::min<int32_t>(h_.activeMask, int32_t(masks.size()) - 1);
    int32_t otherActive = active;
    paper_.masks.SwapMasks(masks, otherActive);
    masks.clear();
    paper_.masks.Activate(active);
    paper_.masks.RefreshAllThumbnails();
    paper_.selectionVisible = (h_.flags & kNativeSelectionShown) ? 1 : 0;
    paper_.selectionEnabled = (h_.flags & kNativeSelectionEnabled) ? 1 : 0;
    if (paper_.selectionVisible) paper_.masks.BuildOutline(active);
  }
  // The active indices are taken as far as the file delivered them.
  const int32_t activeLayer = std::clamp<int32_t>(h_.activeLayer, 0, paper_.LayerCount() - 1);
  paper_.ActivateLayer(flow_, activeLayer);
  flow_.FitToLayers(false);
  paper_.RecompositeAll(true);
  paper_.UpdateThumbnails(false, -1, {0, 0, paper_.width, paper_.height});
}

}  // namespace

NativeLoadResult ReadNativeFile(const IByteSource& source, TPaper& paper, TFlowImage& flow,
                                INativeEventData* events, const std::string& title,
                                INativeProgress* progressTo) {
  NativeLoadResult result;
  Progress progress(progressTo);
  IPaperJournal* journal = paper.JournalSink();
  try {
    BlockReader r(source);
    NativeHeader h;
    result.status = ReadNativeHeader(r, h);
    if (result.status != kFileOk) return result;
    progress.Begin(
        kLoadingTitleFormat, title,
        ((h.flags & kNativeLayers) ? h.layerCount : 0) + ((h.flags & kNativeMasks) ? h.maskCount : 0));
    // Nothing of the loading is an operation to record.
    paper.SetJournal(nullptr);
    const bool transparent = (h.flags & kNativeTransparentPaper) != 0;
    if (!paper.NewPaper(title, flow, transparent, transparent, h.dpi > 0 ? h.dpi : 72, h.height, h.width)) {
      paper.SetJournal(journal);
      result.status = kFileNoMemory;
      return result;
    }
    paper.dpi = h.dpi;
    paper.layers.Delete(0);
    paper.showChecker = (h.flags & kNativeChecker) ? 1 : 0;
    paper.paperColor = h.paperColour;
    Loader loader(r, paper, flow, events, h, progress);
    int32_t status = loader.BlockLoop();
    // Counts that disagree with the header mean blocks went missing or were added.
    if (((h.flags & kNativeLayerFields) && loader.layersMet != h.layerCount) ||
        ((h.flags & kNativeMaskFields) && loader.masksMet != h.maskCount))
      status = WorseStatus(status, kFileBadSize);
    if (status != kFileOk) ShowWarning(Format(kLoadErrorFormat, int(status)));
    loader.Finish();
    paper.SetJournal(journal);
    result.opened = true;
    result.status = status;
    if (events) events->LoadFinished(loader.eventsRead);
    return result;
  } catch (const std::bad_alloc&) {
    paper.SetJournal(journal);
    result.status = kFileNoMemory;
  } catch (const std::exception&) {
    paper.SetJournal(journal);
    result.status = kFileException;
  }
  result.opened = false;
  return result;
}

NativeLoadResult LoadNativeFile(const std::string& path, TPaper& paper, TFlowImage& flow,
                                INativeEventData* events, INativeProgress* progress) {
  WaitCursor busy;
  FileSource source;
  NativeLoadResult result;
  result.status = source.Open(path);
  if (result.status != kFileOk) return result;
  return ReadNativeFile(source, paper, flow, events, FileNameOf(path), progress);
}

// --- thumbnails of files -------------------------------------------------------------------------

namespace {

int32_t FirstColourThumbnail(BlockReader& r, TMTC& image) {
  while (!r.AtEnd()) {
    BlockHead head;
    if (const int32_t s = r.PeekHead(head); s != kFileOk) return s;
    if (head.End() > r.Size()) return kFilePastEnd;
    if (head.id == kIdTTNL) {
      ImageDescriptor d;
      std::vector<uint8_t> pixels;
      const int32_t s = ReadImageBlock(r, d, pixels, kThumbnailBox);
      if (s == kFileOk && d.format == kImageColour) {
        if (!image.Resize(d.width, d.height)) return kFileNoMemory;
        ByteReader p(pixels.data(), pixels.size());
        for (int32_t y = 0; y < d.height; ++y)
          for (int32_t x = 0; x < d.width; ++x) *image.Pixel(x, y) = p.u32();
        return kFileOk;
      }
      if (s != kFileOk && s != kFileBadFormat) return s;
    }
    r.Seek(head.End());
  }
  return kFileThumbnailSkipped;
}

}  // namespace

int32_t ReadThumbnailFrom(const IByteSource& source, TMTC& image, int32_t& width, int32_t& height) {
  try {
    BlockReader r(source);
    BlockHead first;
    if (const int32_t s = r.PeekHead(first); s != kFileOk) return s;
    if (first.id == kIdTPIM) {
      NativeHeader h;
      if (const int32_t s = ReadNativeHeader(r, h); s != kFileOk) return s;
      const int32_t s = FirstColourThumbnail(r, image);
      if (s != kFileOk) return s;
      width = h.width;
      height = h.height;
      return kFileOk;
    }
    // An event file: an optional thumbnail, then the event block that gives the picture size.
    BlockHead head = first;
    if (head.id == kIdTTNL) {
      if (head.End() > r.Size()) return kFilePastEnd;
      BlockReader at(source);
      at.Seek(head.End());
      if (const int32_t s = at.PeekHead(head); s != kFileOk) return s;
    }
    if (head.id != kIdTEVP && head.id != kIdTEVS) return kFileBadId;
    uint8_t size[8];
    if (!source.ReadAt(head.offset + 8, size, sizeof size)) return kFileShortRead;
    ByteReader sr(size, sizeof size);
    const int32_t w = sr.i32(), h = sr.i32();
    const int32_t s = FirstColourThumbnail(r, image);
    if (s != kFileOk) return s;
    width = w;
    height = h;
    return kFileOk;
  } catch (const std::bad_alloc&) {
    return kFileNoMemory;
  }
}

int32_t ReadFileThumbnail(const std::string& path, TMTC& image, int32_t& width, int32_t& height) {
  FileSource source;
  if (const int32_t s = source.Open(path); s != kFileOk) return s;
  return ReadThumbnailFrom(source, image, width, height);
}

}  // namespace tintara
