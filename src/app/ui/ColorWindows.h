// The colour windows: the colour window (hue bar, saturation-value square, colour box), the RGB
// and HSV windows and the palette. Each listens to the main window's colour manager and passes
// the origin of every change it makes, so that it keeps what the user is typing or dragging.
#pragma once

#include <QImage>
#include <QWidget>

#include <array>
#include <cstdint>
#include <vector>

#include "app/ColorMngr.h"
#include "app/ui/Palette.h"

class QLabel;
class QSlider;
class QSpinBox;

namespace tintara {

// The colour of the saturation-value square of `side` pixels at (x, y) for `hue` (16.16
// degrees; below 0 counts as red): saturation grows to the right, value upwards, both
// 0..255 across the square.
uint32_t SvSquareColor(int32_t hue, int32_t x, int32_t y, int32_t side);
// Where the square shows a saturation and value (16.16, 0..255): the inverse of the above.
QPoint SvSquarePoint(uint32_t saturation, uint32_t value, int32_t side);
// The row of a hue bar of height h that shows `hue` (16.16 degrees).
int32_t HueBarRow(int32_t hue, int32_t barHeight);

// The hue bar: red at the top, through the hues to 359 degrees at the bottom.
class THueBar : public QWidget {
  Q_OBJECT
 public:
  THueBar(CColorMngr& colours, QWidget* parent = nullptr);
  void SetHue(int32_t hue);

 protected:
  void paintEvent(QPaintEvent*) override;
  void mousePressEvent(QMouseEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void resizeEvent(QResizeEvent*) override;

 private:
  CColorMngr& colours_;
  QImage bar_;
  int32_t hue_ = 0;
};

// The saturation-value square for the wheel hue, with a ring where the main colour lies.
class TSvSquare : public QWidget {
  Q_OBJECT
 public:
  static constexpr int kSide = 128;
  TSvSquare(CColorMngr& colours, QWidget* parent = nullptr);
  void SetHue(int32_t hue);
  void SetMarker(const HsvColor& hsv);
  int32_t Hue() const { return hue_; }
  QPoint Marker() const { return marker_; }

 protected:
  void paintEvent(QPaintEvent*) override;
  void mousePressEvent(QMouseEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;

 private:
  void Pick(QPoint at);
  CColorMngr& colours_;
  QImage square_;
  int32_t hue_ = -2;  // nothing drawn yet
  QPoint marker_;
};

// The colour box: the main and the sub colour as two overlapping squares; a click exchanges
// them.
class TColorBox : public QWidget {
  Q_OBJECT
 public:
  TColorBox(CColorMngr& colours, QWidget* parent = nullptr);

 protected:
  void paintEvent(QPaintEvent*) override;
  void mousePressEvent(QMouseEvent* e) override;

 private:
  CColorMngr& colours_;
};

class TGColWindow : public TPaletteWindow, public IColorObserver {
  Q_OBJECT
 public:
  explicit TGColWindow(TMainForm& form, QWidget* parent = nullptr);
  ~TGColWindow() override;

  THueBar* HueBar() const { return hueBar_; }
  TSvSquare* Square() const { return square_; }
  TColorBox* Box() const { return box_; }
  // The "R: %03d" texts beside the box.
  QStringList Texts() const;

  void WheelHueChanged(int32_t wheelHue, uint32_t wheelColour) override;
  void ColorBoxChanged(uint32_t main, uint32_t sub, bool mainInFront, uint8_t origin) override;
  void MainHsvChanged(const HsvColor& hsv, uint8_t origin) override;

 private:
  CColorMngr& colours_;
  THueBar* hueBar_;
  TSvSquare* square_;
  TColorBox* box_;
  std::array<QLabel*, 3> texts_{};
};

// A row of three channels, each a slider with a number field beside it.
class TChannelRows : public QWidget {
  Q_OBJECT
 public:
  struct Channel {
    const char* name;
    int maximum;
  };
  TChannelRows(const std::array<Channel, 3>& channels, QWidget* parent = nullptr);
  QSlider* Slider(int i) const { return sliders_[size_t(i)]; }
  QSpinBox* Field(int i) const { return fields_[size_t(i)]; }
  // Shows the values without telling anyone; a widget that already shows its value is left
  // alone, so a field being typed into keeps its text and cursor.
  void Show(const std::array<int, 3>& values, bool sliders);
  // Paints each bar from the colour its minimum gives to the colour its maximum gives; bars
  // without ends are drawn plain.
  void SetBarColours(const std::array<std::pair<QColor, QColor>, 3>* ends);

 signals:
  void SliderMoved(int channel, int value);
  void FieldChanged(int channel, int value);

 private:
  std::array<QSlider*, 3> sliders_{};
  std::array<QSpinBox*, 3> fields_{};
  std::array<QString, 3> barStyles_{};
};

class TRgbWindow : public TPaletteWindow, public IColorObserver {
  Q_OBJECT
 public:
  explicit TRgbWindow(TMainForm& form, QWidget* parent = nullptr);
  ~TRgbWindow() override;
  TChannelRows* Rows() const { return rows_; }
  void MainRgbChanged(uint32_t main, uint8_t origin) override;

 private:
  uint32_t WithChannel(int channel, int value) const;
  CColorMngr& colours_;
  TChannelRows* rows_;
};

class THsvWindow : public TPaletteWindow, public IColorObserver {
  Q_OBJECT
 public:
  explicit THsvWindow(TMainForm& form, QWidget* parent = nullptr);
  ~THsvWindow() override;
  TChannelRows* Rows() const { return rows_; }
  void MainHsvChanged(const HsvColor& hsv, uint8_t origin) override;

 private:
  CColorMngr& colours_;
  TChannelRows* rows_;
};

// A list of colours shown as a grid of cells. Entries are pixel values whose byte 3 records
// the colour space an imported entry came from (0 RGB).
struct ColorPalette {
  std::vector<uint32_t> entries;
  int32_t cellW = 10, cellH = 15, columns = 16, rows = 6;

  // The 256 colours a new palette window starts with: a grey ramp, the pure hues darkening,
  // then their tints.
  static ColorPalette BuiltIn();
  // The first entry equal to the colour in its low 24 bits; -1 when none is.
  int32_t IndexOf(uint32_t colour) const;
  // The entry under a point of the grid; -1 outside every entry.
  int32_t IndexAt(int32_t x, int32_t y) const;
};

class TPalGrid : public QWidget {
  Q_OBJECT
 public:
  TPalGrid(ColorPalette& palette, QWidget* parent = nullptr);
  void SetMarked(int32_t index);
  int32_t Marked() const { return marked_; }
  // The cell's rectangle in the grid.
  QRect CellRect(int32_t index) const;
  void Relayout();
  QSize sizeHint() const override;

 signals:
  void CellClicked(int32_t index, Qt::MouseButton button, QPoint globalPos);

 protected:
  void paintEvent(QPaintEvent*) override;
  void mousePressEvent(QMouseEvent* e) override;

 private:
  ColorPalette& palette_;
  int32_t marked_ = -1;
};

class TPalWindow : public TPaletteWindow, public IColorObserver {
  Q_OBJECT
 public:
  explicit TPalWindow(TMainForm& form, QWidget* parent = nullptr);
  ~TPalWindow() override;

  const ColorPalette& Colors() const { return palette_; }
  TPalGrid* Grid() const { return grid_; }
  // The editing the window offers; each keeps the mark on the main colour.
  void AddColor(uint32_t colour);
  void ReplaceColor(int32_t index, uint32_t colour);
  void DeleteColor(int32_t index);

  void PaletteMainChanged(uint32_t main) override;

 private:
  void CellClicked(int32_t index, Qt::MouseButton button, QPoint globalPos);
  void Changed();
  CColorMngr& colours_;
  ColorPalette palette_;
  TPalGrid* grid_;
};

}  // namespace tintara
