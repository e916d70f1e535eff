// Brushes and pen settings: the brush record and brush list of the brush engine, the default
// brush set, applying a brush to the renderer and the stroke, and the old pen kinds' settings
// with their defaults, their slots and their layout under "penSetting" in the settings store,
// and the conversion of old pen settings into brushes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "paint/PenRender.h"
#include "paint/PenTip.h"
#include "paint/Stroke.h"
#include "pixel/ByteIO.h"
#include "platform/SettingsStore.h"

namespace tintara {

class CStrokeMngr;

// The brush record (44 bytes in brush sets and packets).
struct PenMethodParams {
  static constexpr size_t kBytes = 44;
  SPenBrushHead head;  // 16 bytes: mode, variant, pixel-aligned, channel, effects, 6 reserved
  uint8_t useGradation = 0;
  uint8_t useTone = 0;
  StrokeParams stroke;

  void Write(ByteWriter& w) const;
  // Every field through its clamp.
  bool Read(ByteReader& r);
  static PenMethodParams Clamped(const PenMethodParams& raw);
  friend bool operator==(const PenMethodParams&, const PenMethodParams&) = default;
};

inline constexpr const char* kBrushErrorCaption = "エラー";
// The caption of a brush without a name: the mode's, or "鉛筆" with the channel flag.
const char* BrushModeCaption(const SPenBrushHead& head);

class CPenMethodObj {
 public:
  CPenMethodObj();
  CPenMethodObj(const CPenMethodObj&) = delete;
  CPenMethodObj& operator=(const CPenMethodObj&) = delete;

  // A new serial number, an empty record, no tip, no icon.
  void Reset();
  // Each part optional.
  void SetRecord(const SPenBrushHead* head, const uint8_t* toneAndGradation /* gradation, tone */,
                 const StrokeParams* stroke);
  void SetRecord(const PenMethodParams& p);
  const PenMethodParams& Record() const { return params_; }
  // Name, icon, record and tip.
  bool CopyFrom(const CPenMethodObj& other);
  // The brush keeps a copy.
  bool SetTip(const CPenShapeObj& tip);
  void SetTipRecord(const PenTipRecord& record);
  // Created on first use.
  CPenShapeObj& Tip();
  const CPenShapeObj* TipIfAny() const { return tip_.get(); }
  // A 32-bit icon; the display copy is made from it.
  bool SetIcon(const TMTC& icon);
  const TMTC* Icon() const { return icon_.get(); }
  const TMTC* DisplayIcon() const { return display_.get(); }
  int32_t Serial() const { return serial_; }
  std::string Caption() const { return name.empty() ? BrushModeCaption(params_.head) : name; }

  bool valid = true;
  std::string name;

 private:
  static int32_t NextSerial();
  int32_t serial_ = 0;
  PenMethodParams params_;
  std::unique_ptr<CPenShapeObj> tip_;
  std::unique_ptr<TMTC> icon_, display_;
};

// The brush list: owning, with a current index, an eraser index and five slot indices.
class CPenMethodMngr {
 public:
  static constexpr int32_t kSlots = 5;

  int32_t Count() const { return int32_t(items_.size()); }
  bool IsValidIndex(int32_t i) const { return i >= 0 && i < Count(); }
  CPenMethodObj* At(int32_t i) const { return IsValidIndex(i) ? items_[size_t(i)].get() : nullptr; }
  CPenMethodObj* Current() const { return At(current_); }
  int32_t CurrentIndex() const { return current_; }
  int32_t EraserIndex() const { return eraser_; }

  // Each returns the new index or -1.
  int32_t Add(const PenMethodParams& record, const PenTipRecord* tip, const std::string& name);
  int32_t Insert(int32_t index, std::unique_ptr<CPenMethodObj> item);
  int32_t AppendCopy(const CPenMethodObj& item);
  bool Delete(int32_t index);
  void Clear();
  bool Select(int32_t index);
  // With `clamp` an index outside the list is brought into it; else it is refused.
  bool SelectEraser(int32_t index, bool clamp);
  int32_t FindSerial(int32_t serial) const;
  // The eraser index when valid, else the first brush of the eraser mode, else -1.
  int32_t FindEraser() const;
  // The nine default brushes, brush 0 current.
  void FillDefault();

  bool SlotsValid() const { return slotsValid_; }
  int32_t Slot(int32_t i) const { return i >= 0 && i < kSlots ? slots_[i] : -1; }
  void SetSlots(const int32_t (&slots)[kSlots]);
  void InvalidateSlots() { slotsValid_ = false; }

 private:
  void ClampSlots();
  std::vector<std::unique_ptr<CPenMethodObj>> items_;
  int32_t current_ = -1;
  int32_t eraser_ = -1;
  int32_t slots_[kSlots] = {0, 0, 0, 0, 0};
  bool slotsValid_ = false;
};

// The default brush set's records and tip indices (into the built-in tips), in list order.
struct DefaultBrush {
  PenMethodParams params;
  int32_t tip;
};
std::vector<DefaultBrush> DefaultBrushRecords();

// Applies a brush: its head to the renderer, its stroke settings to the stroke manager (when
// there is one), its tip as the renderer's tip, its tone and gradation switches to the stroke,
// and with the brush engine selected its opacity to the stroke.
void ApplyBrush(const CPenMethodObj& brush, CPenRender& render, TStroke& stroke, CStrokeMngr* mngr,
                bool brushEngine);

// --- old pen settings --------------------------------------------------------------------------

inline constexpr const char* kPenSettingKey = "penSetting";
inline constexpr int32_t kPenVariants = 5;

// "<root>\penSetting\<stem><n>", n = 1..5.
std::string PenSettingKey(const std::string& root, int32_t kind, int32_t variant);

// The kind's defaults into the stroke (the kind itself is not changed). With a renderer the
// kinds with an air map select it there too.
void SetPenKindDefaults(TStroke& stroke, int32_t kind, CPenRender* render = nullptr);
// Every value that exists under the variant's key, through the clamping setters; with reset the
// kind defaults come first. False when the key is missing (nothing read).
bool LoadPenSettings(const ISettingsStore& store, const std::string& root, TStroke& stroke, int32_t kind,
                     int32_t variant, bool reset, CPenRender* render = nullptr);
// All fourteen values; opacity and spacing as the stroke's effective values.
bool SavePenSettings(ISettingsStore& store, const std::string& root, const TStroke& stroke, int32_t kind,
                     int32_t variant);

// The fourteen old pen values as stored.
struct OldPenValues {
  float min = 0, width = 0, gamma = 0, effect = 0, env = 0, speed = 0;
  bool ifSize = false, ifTransparency = false, ifEdge = false, useTone = false, useGradation = false;
  float opaque = 0, penSpacing = 0;
  int32_t airMap = 0;
};
// Succeeds only when all fourteen values exist with their types.
bool ReadFullPenRecord(const ISettingsStore& store, const std::string& key, OldPenValues& out);

// The old-pen window's five slots, each a distinct kind other than "blur2".
struct PenSlots {
  int32_t current = 0;
  int32_t kinds[5] = {kPenPencil, kPenWatercolour, kPenBlur, kPenEraser, kPenAirbrush};
  int32_t variants[kPenKindCount] = {};  // 0..4 per kind
};
// False (and the defaults kept) when the stored slots are missing or invalid. On success the
// current slot's kind becomes the stroke's kind (when a stroke is given).
bool LoadPenSlots(const ISettingsStore& store, const std::string& root, PenSlots& slots,
                  TStroke* stroke = nullptr);
bool SavePenSlots(ISettingsStore& store, const std::string& root, const PenSlots& slots);

// A brush made from one kind's old settings (every field clamped into the brush ranges).
void OldPenToBrush(int32_t kind, const OldPenValues& v, PenMethodParams& brush, PenTipRecord& tip);
// Every kind but "blur2" and every variant with a full record under `oldRoot` becomes a brush
// named by the kind's caption and the variant number, appended to `out`. Returns how many.
int32_t ConvertOldPenSettings(const ISettingsStore& store, const std::string& oldRoot, CPenMethodMngr& out);

}  // namespace tintara
