#include "events/PasteReplay.h"

#include <gtest/gtest.h>

#include "document/Paper.h"
#include "events/Packets.h"
#include "files/NativeFile.h"
#include "platform/Notify.h"

namespace tintara {
namespace {

ImageBody Image(int32_t w, int32_t h, uint32_t base) {
  ImageBody img;
  img.width = w;
  img.height = h;
  for (int32_t i = 0; i < w * h; ++i) img.pixels.push_back(base + uint32_t(i));
  return img;
}

// The 72-byte record of a layer with the given attributes, as a copy would carry it.
std::array<uint8_t, kPlacementBytes> Placement(LayerRecord r) {
  std::vector<uint8_t> bytes;
  EncodeLayerRecord(r, bytes);
  std::array<uint8_t, kPlacementBytes> out{};
  std::copy(bytes.begin(), bytes.end(), out.begin());
  return out;
}

// Sends the paste through its packet: encoded, framed, decoded and replayed as the player does.
bool ThroughPacket(TPaper& paper, TFlowImage& flow, bool asNew, int32_t layer, const ImageBody& image) {
  std::vector<uint8_t> packet;
  if (!EncodePaste(asNew, layer, image, packet)) return false;
  PacketView view;
  if (ReadPacketAt(packet, 0, view) != FrameStatus::Ok || view.end() != packet.size()) return false;
  AnyRecord any;
  if (DecodeRecord(view, any) != DecodeStatus::Ok) return false;
  return ReplayPaste(paper, flow, std::get<PasteRecord>(any));
}

struct Picture {
  Picture() { EXPECT_TRUE(paper.NewPaper("p", flow, false, false, 72, 12, 20)); }
  TPaper paper;
  TFlowImage flow{paper};
  RecordingNotifySink notes;
};

TEST(PastePackets, NewLayerHoldsTheImageAtItsStoreOrigin) {
  Picture p;
  const ImageBody img = Image(30, 8, 0xFF000000u);
  ASSERT_TRUE(ThroughPacket(p.paper, p.flow, true, 1, img));
  ASSERT_EQ(p.paper.LayerCount(), 2);
  EXPECT_EQ(p.paper.ActiveIndex(), 1);
  const CLayerData& l = *p.paper.Layer(1);
  // At least the picture (20 x 12) and the image (30 x 8).
  EXPECT_EQ(l.pixels->Width(), 30);
  EXPECT_EQ(l.pixels->Height(), 12);
  EXPECT_EQ(l.viewX, 0);
  EXPECT_EQ(l.viewWidth, 20);
  EXPECT_EQ(l.mode, kModeNormal);
  EXPECT_EQ(l.pixels->GetPixel(0, 0), 0xFF000000u);
  EXPECT_EQ(l.pixels->GetPixel(29, 7), 0xFF000000u + 7 * 30 + 29);
  EXPECT_EQ(l.pixels->GetPixel(5, 10) >> 24, 0u);  // below the image: transparent
  EXPECT_EQ(*p.paper.composite.Pixel(3, 2) & 0xFFFFFF, (0xFF000000u + 2 * 30 + 3) & 0xFFFFFF);
}

TEST(PastePackets, APlacementRecordSizesThePlacesAndDescribesTheLayer) {
  struct Case {
    const char* name;
    uint16_t flags;
    int32_t viewX, viewY, storeW, storeH;
    int32_t wantW, wantH, wantViewX, wantViewY;
  } cases[] = {
      // A copy of this program's layer: its whole store, so at least that store and its view.
      {"marked copy", uint16_t(0x1 | 0x2 | kLayerClipboardCopy), 9, 3, 35, 14, 35, 15, 9, 3},
      // Another record: the store widened by the view position.
      {"unmarked", uint16_t(0x2), 4, 2, 0, 0, 30 + 4, 12 + 2, 4, 2},
      // A layer moved right and down: its view starts before its store and stays there.
      {"marked copy moved", uint16_t(0x1 | 0x2 | kLayerClipboardCopy), -5, -3, 0, 0, 30, 12, -5, -3},
      {"unmarked moved", uint16_t(0x2), -4, -2, 0, 0, 30, 12, -4, -2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Picture p;
    ImageBody img = Image(30, 8, 0x80000000u);
    LayerRecord r;
    r.flags = c.flags;
    r.mode = 40;  // above 21: taken as 21
    r.opacity = 77;
    r.viewX = c.viewX;
    r.viewY = c.viewY;
    r.storeWidth = c.storeW;
    r.storeHeight = c.storeH;
    img.hasPlacement = true;
    img.placement = Placement(r);
    img.name = "貼り付けたレイヤ";
    ASSERT_TRUE(ThroughPacket(p.paper, p.flow, true, 0, img));
    const CLayerData& l = *p.paper.Layer(0);
    EXPECT_EQ(p.paper.ActiveIndex(), 0);
    EXPECT_EQ(l.pixels->Width(), c.wantW);
    EXPECT_EQ(l.pixels->Height(), c.wantH);
    EXPECT_EQ(l.viewX, c.wantViewX);
    EXPECT_EQ(l.viewY, c.wantViewY);
    EXPECT_EQ(l.mode, 21);
    EXPECT_EQ(l.opacity, 77);
    EXPECT_EQ(l.visible, (c.flags & 1) ? 1 : 0);
    EXPECT_EQ(l.protectAlpha, 1);
    EXPECT_EQ(l.name, "貼り付けたレイヤ");
    EXPECT_EQ(l.pixels->GetPixel(12, 5), 0x80000000u + 5 * 30 + 12);
  }
}

TEST(PastePackets, PasteIntoALayerGrowsItsStoreAndKeepsTheRest) {
  Picture p;
  CLayerData& before = *p.paper.Layer(0);
  before.name = "下地";
  before.opacity = 90;
  before.pixels->SetPixel(19, 11, 0xFF123456);
  before.pixels->SetPixel(2, 10, 0xFF654321);
  const ImageBody img = Image(25, 5, 0xFF100000u);
  ASSERT_TRUE(ThroughPacket(p.paper, p.flow, false, 0, img));
  ASSERT_EQ(p.paper.LayerCount(), 1);
  const CLayerData& l = *p.paper.Layer(0);
  EXPECT_EQ(l.pixels->Width(), 25);
  EXPECT_EQ(l.pixels->Height(), 12);
  EXPECT_EQ(l.name, "下地");
  EXPECT_EQ(l.opacity, 90);
  EXPECT_EQ(l.pixels->GetPixel(24, 4), 0xFF100000u + 4 * 25 + 24);
  EXPECT_EQ(l.pixels->GetPixel(19, 11), 0xFF123456u);
  EXPECT_EQ(l.pixels->GetPixel(2, 10), 0xFF654321u);
  // A smaller image leaves the store as it is.
  ASSERT_TRUE(ThroughPacket(p.paper, p.flow, false, 0, Image(3, 2, 0xFF000000u)));
  EXPECT_EQ(p.paper.Layer(0)->pixels->Width(), 25);
  EXPECT_EQ(p.paper.Layer(0)->pixels->GetPixel(2, 1), 0xFF000005u);
  EXPECT_EQ(p.paper.Layer(0)->pixels->GetPixel(3, 1), 0xFF100000u + 25 + 3);
}

TEST(PastePackets, PastesThatCannotBeDoneChangeNothing) {
  Picture p;
  EXPECT_FALSE(PasteIntoLayer(p.paper, p.flow, 3, Image(2, 2, 0)));
  ImageBody wrong = Image(4, 4, 0);
  wrong.pixels.pop_back();  // fewer pixels than the size says
  EXPECT_FALSE(PasteAsNewLayer(p.paper, p.flow, 1, wrong) >= 0);
  // A marked placement whose view would need a store beyond what a file holds.
  ImageBody far = Image(2, 2, 0);
  LayerRecord r;
  r.flags = kLayerClipboardCopy;
  r.viewX = kNativeMaxSide;
  far.hasPlacement = true;
  far.placement = Placement(r);
  EXPECT_EQ(PasteAsNewLayer(p.paper, p.flow, 1, far), -1);
  EXPECT_EQ(p.paper.LayerCount(), 1);
  EXPECT_EQ(p.paper.Layer(0)->pixels->Width(), 20);
}

}  // namespace
}  // namespace tintara
