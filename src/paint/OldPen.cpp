// The renderers behind the stroke manager: the brush engine's dab goes to CPenRender; the
// old-pen engine's nine kinds and the legacy engine's five have their own dab routines here,
// written through the same per-pixel write functions.
#include <algorithm>
#include <cmath>
#include <new>
#include <type_traits>
#include <vector>

#include "document/Layer.h"
#include "paint/StrokeMngr.h"
#include "pixel/Arith.h"
#include "pixel/ColorOps.h"

namespace tintara {
namespace {

uint32_t Lerp3(uint32_t s, uint32_t d, uint32_t t) {
  return uint32_t(Lerp8(s >> 16 & 0xFF, d >> 16 & 0xFF, t)) << 16 |
         uint32_t(Lerp8(s >> 8 & 0xFF, d >> 8 & 0xFF, t)) << 8 | Lerp8(s & 0xFF, d & 0xFF, t);
}

uint32_t Clamped(const CDibCore& img, int64_t x, int64_t y) {
  const int32_t cx = int32_t(std::clamp<int64_t>(x, 0, img.Width() - 1));
  const int32_t cy = int32_t(std::clamp<int64_t>(y, 0, img.Height() - 1));
  return img.Row32(cy)[cx];
}

uint8_t ByteOf(double v) { return uint8_t(std::clamp(v, 0.0, 255.0)); }

// The pixel rectangle around a disc of radius r at (x, y), clipped to the image.
SPixRect DiscBox(double x, double y, double r, const SPixRect& clip) {
  const double lo = -1.0e8, hi = 1.0e8;
  const int32_t l = int32_t(std::clamp(std::floor(x - r), lo, hi));
  const int32_t t = int32_t(std::clamp(std::floor(y - r), lo, hi));
  const int32_t rr = int32_t(std::clamp(std::ceil(x + r), lo, hi));
  const int32_t b = int32_t(std::clamp(std::ceil(y + r), lo, hi));
  return Intersect({l, t, rr - l + 1, b - t + 1}, clip);
}

// An anti-aliased disc: pixels wholly inside get 255, rim pixels the share of their n x n
// sub-samples inside; with `soft` (radius 3 or more) the coverage also falls as
// 255 - d^2 x 255 / r^2 with the pixel-centre distance d. f(x, y, coverage) per pixel.
template <class F>
void Disc(double x, double y, double r, int32_t n, bool soft, const SPixRect& clip, F&& f) {
  if (!(r > 0)) return;
  const SPixRect box = DiscBox(x, y, r, clip);
  const double r2 = r * r;
  const bool softened = soft && r >= 3;
  for (int32_t py = box.y; py < box.Bottom(); ++py)
    for (int32_t px = box.x; px < box.Right(); ++px) {
      auto inside = [&](double sx, double sy) { return (sx - x) * (sx - x) + (sy - y) * (sy - y) <= r2; };
      int32_t cov;
      if (inside(px, py) && inside(px + 1, py) && inside(px, py + 1) && inside(px + 1, py + 1)) {
        cov = 255;
      } else {
        int32_t count = 0;
        for (int32_t j = 0; j < n; ++j)
          for (int32_t i = 0; i < n; ++i) count += inside(px + (i + 0.5) / n, py + (j + 0.5) / n);
        if (count == 0) continue;
        cov = count * 255 / (n * n);
      }
      if (softened) {
        const double dx = px + 0.5 - x, dy = py + 0.5 - y;
        cov = cov * int32_t(std::max(0.0, 255.0 - (dx * dx + dy * dy) * 255.0 / r2)) / 255;
      }
      if (cov > 0) f(px, py, uint8_t(cov));
    }
}

// Every pixel whose centre lies within r of (x, y), with its centre distance.
template <class F>
void Radial(double x, double y, double r, const SPixRect& clip, F&& f) {
  if (!(r > 0)) return;
  const SPixRect box = DiscBox(x, y, r, clip);
  for (int32_t py = box.y; py < box.Bottom(); ++py)
    for (int32_t px = box.x; px < box.Right(); ++px) {
      const double d = std::hypot(px + 0.5 - x, py + 0.5 - y);
      if (d < r) f(px, py, d);
    }
}

// A one-pixel-wide anti-aliased span of half length r through (x, y), vertical or
// horizontal: along it each pixel is covered by the share of the span inside it (counted
// with `samples` sub-samples), across it the weight is split between the two pixels nearest
// the centre line.
template <class F>
void Span(double x, double y, double r, bool vertical, int32_t samples, const SPixRect& clip, F&& f) {
  if (!(r > 0) || samples <= 0) return;
  const double along0 = (vertical ? y : x) - r;
  const double across = (vertical ? x : y) - 0.5;
  const double a0 = std::floor(across), fa = across - a0;
  const double step = 2 * r / samples;
  int64_t cell = int64_t(std::floor(along0 + 0.5 * step));
  int32_t count = 0;
  auto flush = [&](int64_t c, int32_t n) {
    if (n == 0) return;
    const double share = std::min(1.0, n * step);
    for (int32_t k = 0; k < 2; ++k) {
      const uint8_t cov = ByteOf(255.0 * share * (k == 0 ? 1.0 - fa : fa));
      if (!cov) continue;
      const double cross = a0 + k;
      const double px = vertical ? cross : double(c), py = vertical ? double(c) : cross;
      if (px < clip.x || py < clip.y || px >= clip.Right() || py >= clip.Bottom()) continue;
      f(int32_t(px), int32_t(py), cov);
    }
  };
  for (int32_t i = 0; i < samples; ++i) {
    const int64_t c = int64_t(std::floor(along0 + (i + 0.5) * step));
    if (c != cell) {
      flush(cell, count);
      cell = c;
      count = 0;
    }
    ++count;
  }
  flush(cell, count);
}

}  // namespace

struct CStrokeRenderer::OldPen {
  struct Sum {
    int64_t a, r, g, b;
  };
  std::vector<Sum> table;
  TMTC source;
  SPixRect sourceRect;

  // The layer's pixels of `need` (edges repeated beyond the layer) into `source`.
  bool ReadLayer(const SPenSurface& s, const SPixRect& need) {
    const CDibCore* img = s.work;
    if (!img) return false;
    if ((source.Width() < need.width || source.Height() < need.height) &&
        !source.Resize(std::max(source.Width(), need.width), std::max(source.Height(), need.height)))
      return false;
    const int32_t iw = s.layer && s.layer->IsValid() ? s.layer->Width() : img->Width();
    const int32_t ih = s.layer && s.layer->IsValid() ? s.layer->Height() : img->Height();
    const SPixRect inside = Intersect(need, {0, 0, iw, ih});
    if (inside.IsEmpty()) return false;
    TMTC tmp;
    if (!tmp.Resize(inside.width, inside.height)) return false;
    if (s.layer && s.layer->IsValid())
      s.layer->ReadRect(tmp, {0, 0}, false, 255, inside);
    else
      CopyRect(tmp, {0, 0}, *img, inside);
    for (int32_t y = 0; y < need.height; ++y)
      for (int32_t x = 0; x < need.width; ++x)
        source.Row32(y)[x] = Clamped(tmp, int64_t(need.x) + x - inside.x, int64_t(need.y) + y - inside.y);
    sourceRect = need;
    return true;
  }
  uint32_t At(int32_t x, int32_t y) const { return source.Row32(y - sourceRect.y)[x - sourceRect.x]; }

  // Sums of the (2k + 1)^2 square of layer pixels around every pixel of `box`, through a
  // summed-area table; `weighted`: channels weighted by alpha.
  bool Prepare(const SPenSurface& s, const SPixRect& box, int32_t k, bool weighted) {
    const SPixRect need{box.x - k, box.y - k, box.width + 2 * k, box.height + 2 * k};
    if (!ReadLayer(s, need)) return false;
    const size_t w = size_t(need.width) + 1, h = size_t(need.height) + 1;
    try {
      table.assign(w * h, Sum{0, 0, 0, 0});
    } catch (const std::bad_alloc&) {
      return false;
    }
    for (size_t y = 1; y < h; ++y)
      for (size_t x = 1; x < w; ++x) {
        const uint32_t p = source.Row32(int32_t(y - 1))[x - 1];
        const int64_t a = weighted ? p >> 24 : 1;
        Sum v{int64_t(p >> 24), a * (p >> 16 & 0xFF), a * (p >> 8 & 0xFF), a * (p & 0xFF)};
        const Sum& up = table[(y - 1) * w + x];
        const Sum& left = table[y * w + x - 1];
        const Sum& diag = table[(y - 1) * w + x - 1];
        table[y * w + x] = {v.a + up.a + left.a - diag.a, v.r + up.r + left.r - diag.r,
                            v.g + up.g + left.g - diag.g, v.b + up.b + left.b - diag.b};
      }
    return true;
  }
  Sum Window(int32_t px, int32_t py, int32_t k) const {
    const size_t w = size_t(sourceRect.width) + 1;
    const size_t x0 = size_t(px - k - sourceRect.x), y0 = size_t(py - k - sourceRect.y);
    const size_t x1 = x0 + size_t(2 * k + 1), y1 = y0 + size_t(2 * k + 1);
    const Sum &a = table[y1 * w + x1], &b = table[y0 * w + x1], &c = table[y1 * w + x0],
              &d = table[y0 * w + x0];
    return {a.a - b.a - c.a + d.a, a.r - b.r - c.r + d.r, a.g - b.g - c.g + d.g, a.b - b.b - c.b + d.b};
  }
};

CStrokeRenderer::CStrokeRenderer(CPenRender& render) : render_(render), old_(std::make_unique<OldPen>()) {}
CStrokeRenderer::~CStrokeRenderer() = default;

void CStrokeRenderer::SetMinorAxis(bool on) {
  minorAxis_ = on;
  render_.SetMinorAxis(on);
}

namespace {

// The running watercolour channels, whether the stroke keeps them as floats or in 16.16.
template <class T>
void SetRunning(T& running, uint32_t value) {
  if constexpr (std::is_integral_v<T>)
    running = T(value << 16);
  else
    running = T(value);
}
template <class T>
double Running(T running) {
  if constexpr (std::is_integral_v<T>)
    return running / 65536.0;
  else
    return running;
}
// Each channel moves towards the sample by at most `step`.
template <class T>
void Follow(T& running, uint32_t sample, double step) {
  const double now = Running(running), d = double(sample) - now;
  const double next = std::abs(d) < step ? double(sample) : now + (d > 0 ? step : -step);
  if constexpr (std::is_integral_v<T>)
    running = T(std::lround(next * 65536.0));
  else
    running = T(next);
}

// The watercolour start: the mean of the 11 x 11 pixels around the start position, mixed
// with the pen colour by the canvas influence (0..100).
void PickUpColour(SPenStrokeState& st, const TMTC& work, float x, float y, double influence) {
  const int64_t tx = int64_t(x), ty = int64_t(y);
  uint32_t r = 0, g = 0, b = 0;
  for (int64_t j = -5; j <= 5; ++j)
    for (int64_t i = -5; i <= 5; ++i) {
      const uint32_t p = Clamped(work, tx + i, ty + j);
      r += p >> 16 & 0xFF, g += p >> 8 & 0xFF, b += p & 0xFF;
    }
  st.pickedColour = (r / 121) << 16 | (g / 121) << 8 | (b / 121);
  SetRunning(st.runningR, r / 121);
  SetRunning(st.runningG, g / 121);
  SetRunning(st.runningB, b / 121);
  st.startColour = Lerp3(st.pickedColour, st.colour, uint32_t(influence * 255 / 100));
  st.currentColour = st.startColour;
}

// One watercolour mix: towards the start colour along the change length, then towards the
// four surrounding samples at distance `reach`.
// `reach`: the samples lie at (x, y + reach), (x, y - reach), (x + reach, y), (x - reach, y);
// `nearSide` moves the upper and left ones two pixels in, as the old pens have always sampled
// (y - r + 1 beside y + r + 1).
uint32_t MixWatercolour(SPenStrokeState& st, const TMTC& work, double x, double y, double reach,
                        double changeLength, double surround, bool nearSide) {
  const double f = changeLength > 0 ? std::min(double(st.travelled) / changeLength, 1.0) : 1.0;
  uint32_t current = Lerp3(st.colour, st.startColour, uint32_t(std::max(0.0, f * 255.0)));
  const double back = nearSide ? reach - 2 : reach;
  const double pts[4][2] = {{x, y + reach}, {x, y - back}, {x + reach, y}, {x - back, y}};
  uint32_t sr = 0, sg = 0, sb = 0;
  for (const auto& p : pts) {
    const uint32_t c = Clamped(work, int64_t(std::floor(p[0])), int64_t(std::floor(p[1])));
    sr += c >> 16 & 0xFF, sg += c >> 8 & 0xFF, sb += c & 0xFF;
  }
  const double step = surround / 10.0;
  Follow(st.runningR, sr >> 2, step);
  Follow(st.runningG, sg >> 2, step);
  Follow(st.runningB, sb >> 2, step);
  const uint32_t running = uint32_t(ByteOf(Running(st.runningR))) << 16 |
                           uint32_t(ByteOf(Running(st.runningG))) << 8 | ByteOf(Running(st.runningB));
  current = Lerp3(running, current, uint32_t(surround * 2.55));
  st.currentColour = current;
  return current;
}

}  // namespace

void CStrokeRenderer::BeginStroke(StrokeEngine engine, TStroke& stroke, const SPenSurface& s, float x,
                                  float y) {
  render_.SetStroke(&stroke.pen);
  if (engine == StrokeEngine::kManager) {
    render_.BeginStroke(s, x, y);
    return;
  }
  // The renderer takes the colours and the write functions; with a channel head it runs no
  // brush start routine. The brush stays as it was.
  const SPenBrushHead head = render_.BrushHead();
  SPenBrushHead channel;
  channel.channel = 1;
  render_.SetBrushHead(channel);
  render_.BeginStroke(s, x, y);
  render_.SetBrushHead(head);
  render_.SelectAirMap(stroke.AirMap());
  SPenStrokeState& st = stroke.pen;
  switch (stroke.Kind()) {
    case kPenWatercolour:
      if (s.work && s.work->IsValid()) PickUpColour(st, *s.work, x, y, stroke.Effect());
      break;
    case kPenRub:
      if (engine == StrokeEngine::kDirect) break;
      st.penBuffers[0].Reset();
      st.penBuffers[1].Reset();
      if (s.work) st.penBuffers[0].Capture(*s.work, x, y, stroke.Width());
      st.fingerCount = 0;
      st.lastX = int32_t(x), st.lastY = int32_t(y);
      break;
    case kPenDarken:
    case kPenLighten:
      render_.Writer().BuildLightnessCurve(stroke.Kind() == kPenLighten, int32_t(stroke.Effect()));
      break;
    default:
      break;
  }
}

bool CStrokeRenderer::UsesChannel(StrokeEngine engine, const TStroke& stroke) const {
  if (engine == StrokeEngine::kManager) return render_.BrushHead().channel != 0;
  return stroke.Kind() == kPenPencil || (engine == StrokeEngine::kDirect && stroke.Kind() == kPenBlur2);
}

void CStrokeRenderer::Composite(StrokeEngine engine, const SPenSurface& s, TStroke& stroke,
                                const SPixRect& rect) {
  const bool legacy = engine == StrokeEngine::kDirect;
  if (!(legacy && stroke.Kind() == kPenBlur2)) {
    render_.CompositeChannel(s, rect, stroke.EffectiveOpacityByte(legacy));
    return;
  }
  // The legacy second blur: where the coverage is 2 or more, a 3 x 3 mean of the layer pixels
  // whose centre weighs less the stronger the coverage.
  if (!s.work || !s.coverage) return;
  const SPixRect r = Intersect(Intersect(rect, s.work->Bounds()), s.coverage->Bounds());
  if (r.IsEmpty() || !old_->ReadLayer(s, {r.x - 1, r.y - 1, r.width + 2, r.height + 2})) return;
  for (int32_t y = r.y; y < r.Bottom(); ++y) {
    const uint8_t* c = s.coverage->Row8(y);
    uint32_t* out = s.work->Row32(y);
    for (int32_t x = r.x; x < r.Right(); ++x) {
      if (c[x] < 2) {
        out[x] = old_->At(x, y);
        continue;
      }
      const int32_t centre = 32 - std::min<int32_t>(c[x], 31);
      int64_t sr = 0, sg = 0, sb = 0;
      for (int32_t j = -1; j <= 1; ++j)
        for (int32_t i = -1; i <= 1; ++i) {
          const uint32_t p = old_->At(x + i, y + j);
          const int32_t w = (i == 0 && j == 0) ? centre : 1;
          sr += w * (p >> 16 & 0xFF), sg += w * (p >> 8 & 0xFF), sb += w * (p & 0xFF);
        }
      const int32_t total = centre + 8;
      out[x] = 0xFF000000u | uint32_t(sr / total) << 16 | uint32_t(sg / total) << 8 | uint32_t(sb / total);
    }
  }
}

bool CStrokeRenderer::OldPenDab(const SPenSurface& s, TStroke& stroke, float x, float y, float size,
                                float pressure) {
  if (!s.work || !s.work->IsValid() || !std::isfinite(x) || !std::isfinite(y)) return false;
  SPenStrokeState& st = stroke.pen;
  CPenWriter& w = render_.Writer();
  TMTC& work = *s.work;
  const SPixRect clip = work.Bounds();
  const double r = size;
  const double alpha = std::clamp(double(st.opacity) * pressure, 0.0, 1.0);
  bool any = false;
  auto colour = [&](uint32_t c) {
    return [&, c](int32_t px, int32_t py, uint8_t cov) {
      w.WriteColour(work.Row32(py) + px, px, py, cov, c);
      any = true;
    };
  };
  const uint32_t* air = render_.AirMap();
  auto airWeight = [&](double d) {
    const uint32_t m = air[std::clamp(int32_t(d * 2047.0 / r), 0, 2047)];
    return uint8_t((uint64_t(m) * uint64_t(alpha * 65536.0)) >> 32);
  };
  switch (stroke.Kind()) {
    case kPenPencil: {
      if (!s.coverage || !s.coverage->IsValid()) return false;
      const uint8_t value = ByteOf(255.0 * pressure);
      auto put = [&](int32_t px, int32_t py, uint8_t cov) {
        if (px >= s.coverage->Width() || py >= s.coverage->Height()) return;
        CPenWriter::WriteChannelPlain(s.coverage->Row8(py) + px, cov, value);
        any = true;
      };
      if (r < 3) {
        // Thin pencils draw one-pixel lines: spans along both axes for the first five dabs,
        // so that the start has no gap, then along the segment's major axis, where the
        // spans of neighbouring dabs join (spans across it leave gaps between the dabs).
        if (stroke.dabCount >= 5) {  // five dabs before this one
          Span(x, y, r, minorAxis_, 64, clip, put);
        } else {
          Span(x, y, r, true, 64, clip, put);
          Span(x, y, r, false, 64, clip, put);
        }
      } else {
        Disc(x, y, r, 5, false, clip, put);
      }
      break;
    }
    case kPenWatercolour: {
      const uint32_t c =
          MixWatercolour(st, work, x, y, r + 1, stroke.Speed() * stroke.Width() * 2.0, stroke.Env(), true);
      const uint8_t t = ByteOf(alpha * 0.35 * 255.0);
      if (t == 0) return false;
      Disc(x, y, r, 4, stroke.IfEdge(), clip,
           [&](int32_t px, int32_t py, uint8_t cov) { colour(c)(px, py, Mul8(cov, t)); });
      break;
    }
    case kPenBlur: {
      // A kernel of radius 0 is the pixel itself: the dab changes nothing.
      const int32_t k = int32_t(r * stroke.Effect() / 100.0);
      if (k <= 0) return false;
      const SPixRect box = DiscBox(x, y, r, clip);
      if (box.IsEmpty()) return false;
      const bool protect = st.protectTransparency;
      if (!old_->Prepare(s, box, k, !protect)) return false;
      const int64_t n = int64_t(2 * k + 1) * (2 * k + 1);
      const uint8_t t = ByteOf(alpha * 255.0);
      BlendSwap swap(w, protect ? PenBlend::kKeepAlpha : PenBlend::kCarry);
      Radial(x, y, r, clip, [&](int32_t px, int32_t py, double d) {
        const uint8_t cov = Mul8(ByteOf(255.0 - d * 255.0 / r), t);
        if (cov == 0) return;
        const OldPen::Sum m = old_->Window(px, py, k);
        uint32_t c;
        if (protect) {
          c = uint32_t(m.r / n) << 16 | uint32_t(m.g / n) << 8 | uint32_t(m.b / n);
        } else {
          if (m.a == 0) return;
          c = uint32_t(m.a / n) << 24 | uint32_t(std::min<int64_t>(m.r / m.a, 255)) << 16 |
              uint32_t(std::min<int64_t>(m.g / m.a, 255)) << 8 | uint32_t(std::min<int64_t>(m.b / m.a, 255));
        }
        colour(c)(px, py, cov);
      });
      break;
    }
    case kPenEraser: {
      const uint8_t t = ByteOf(alpha * 255.0);
      if (t == 0) return false;
      BlendSwap swap(w, st.protectTransparency ? PenBlend::kKeepAlpha : PenBlend::kErase);
      Disc(x, y, r, 4, stroke.IfEdge(), clip,
           [&](int32_t px, int32_t py, uint8_t cov) { colour(st.neutralColour)(px, py, Mul8(cov, t)); });
      break;
    }
    case kPenBlur2:
      return false;  // this kind draws only under the legacy engine
    case kPenAirbrush:
      Radial(x, y, r, clip, [&](int32_t px, int32_t py, double d) {
        const uint8_t cov = airWeight(d);
        if (cov) colour(st.colour)(px, py, cov);
      });
      break;
    case kPenRub: {
      const int32_t tx = int32_t(x), ty = int32_t(y);
      if (tx != st.lastX || ty != st.lastY) {
        st.penBuffers[st.fingerCount % 2 == 0 ? 1 : 0].Capture(work, x, y, r);
        ++st.fingerCount;
        st.lastX = tx, st.lastY = ty;
      }
      if (st.fingerCount <= 0) return false;
      const CPenTC& buffer = st.penBuffers[st.fingerCount % 2 == 1 ? 0 : 1];
      BlendSwap swap(w, st.protectTransparency ? PenBlend::kKeepAlpha : PenBlend::kCarry);
      Radial(x, y, r, clip, [&](int32_t px, int32_t py, double d) {
        const uint8_t cov = airWeight(d);
        if (!cov) return;
        uint32_t p;
        if (!buffer.At(px - tx, py - ty, p) || (p >> 24) == 0) p = st.neutralColour & 0x00FFFFFFu;
        colour(p)(px, py, cov);
      });
      break;
    }
    case kPenDarken:
    case kPenLighten: {
      BlendSwap swap(w, PenBlend::kLightness);
      Radial(x, y, r, clip, [&](int32_t px, int32_t py, double d) {
        const uint8_t cov = airWeight(d);
        if (cov) colour(st.colour)(px, py, cov);
      });
      break;
    }
    default:
      return false;
  }
  return any;
}

bool CStrokeRenderer::LegacyDab(const SPenSurface& s, TStroke& stroke, float x, float y, float pressure) {
  if (!s.work || !s.work->IsValid() || !std::isfinite(x) || !std::isfinite(y)) return false;
  SPenStrokeState& st = stroke.pen;
  CPenWriter& w = render_.Writer();
  TMTC& work = *s.work;
  const SPixRect clip = work.Bounds();
  const double W = stroke.Width();
  bool any = false;
  auto channel = [&](uint8_t value) {
    return [&, value](int32_t px, int32_t py, uint8_t cov) {
      if (!s.coverage || px >= s.coverage->Width() || py >= s.coverage->Height()) return;
      CPenWriter::WriteChannelPlain(s.coverage->Row8(py) + px, cov, value);
      any = true;
    };
  };
  auto colour = [&](uint32_t c, uint8_t t) {
    return [&, c, t](int32_t px, int32_t py, uint8_t cov) {
      const uint8_t k = Mul8(cov, t);
      if (!k) return;
      w.WriteColour(work.Row32(py) + px, px, py, k, c);
      any = true;
    };
  };
  const uint8_t alpha = ByteOf(255.0 * (stroke.IfTransparency() ? pressure : 1.0));
  switch (stroke.Kind()) {
    case kPenPencil: {
      if (!s.coverage || !s.coverage->IsValid()) return false;
      const double R = stroke.PressureSize(pressure);
      if (R > 1) Disc(x, y, R, 5, false, clip, channel(alpha));
      if (R < 8) Span(x, y, R, !minorAxis_, 64, clip, channel(alpha));
      break;
    }
    case kPenWatercolour: {
      const double R = stroke.IfSize() ? W / 3 + pressure * 2 * W / 3 : W;
      const uint32_t c = MixWatercolour(st, work, x, y, R + 1, stroke.Speed() * W * 2.0, stroke.Env(), false);
      Disc(x, y, R, 4, stroke.IfEdge(), clip,
           colour(c, ByteOf(255.0 * 0.35 * (stroke.IfTransparency() ? pressure : 1.0))));
      break;
    }
    case kPenBlur: {
      const int32_t k = int32_t(W * stroke.Effect() / 100.0);
      if (k <= 0) return false;  // the pixel itself: nothing changes
      const SPixRect box = DiscBox(x, y, W, clip);
      if (box.IsEmpty() || !old_->Prepare(s, box, k, false)) return false;
      const int64_t n = int64_t(2 * k + 1) * (2 * k + 1);
      const double r2 = W * W;
      Disc(x, y, W, 4, false, clip, [&](int32_t px, int32_t py, uint8_t cov) {
        const double dx = px + 0.5 - x, dy = py + 0.5 - y;
        const uint8_t weight = Mul8(cov, ByteOf(255.0 - (dx * dx + dy * dy) * 255.0 / r2));
        if (!weight) return;
        const OldPen::Sum m = old_->Window(px, py, k);
        const uint32_t c = uint32_t(m.r / n) << 16 | uint32_t(m.g / n) << 8 | uint32_t(m.b / n);
        w.WriteColour(work.Row32(py) + px, px, py, weight, c);
        any = true;
      });
      break;
    }
    case kPenEraser:
      Disc(x, y, W, 4, stroke.IfEdge(), clip, colour(st.neutralColour, alpha));
      break;
    case kPenBlur2:
      if (!s.coverage || !s.coverage->IsValid()) return false;
      Disc(x, y, W, 4, true, clip, channel(uint8_t(std::clamp(int32_t(pressure * 32), 0, 32))));
      break;
    default:
      return false;
  }
  return any;
}

}  // namespace tintara
