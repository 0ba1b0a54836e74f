// The key colour's pixels are cut out of the pet window, and only they.
#include <gtest/gtest.h>

#include <QSet>
#include <QWidget>

#include "app/form1.h"
#include "platform/qt/colour.h"
#include "platform/qt/pictures.h"
#include "platform/qt/qt_window.h"
#include "qt_test_support.h"

namespace guizzolo::qt::test {
namespace {

constexpr Colour kKey = 0x00FFFF00;

// The pet as its load handler leaves it: key-coloured and colour-keyed.
std::unique_ptr<QtWindow> keyedPet(WindowEvents& events, TickGate& ticks) {
  auto pet = std::make_unique<QtWindow>(Form1Layout(), events, 15, 15, ticks);
  pet->setBackColour(kKey);
  pet->setWindowLong(win::kGwlExStyle, pet->getWindowLong(win::kGwlExStyle) | win::kWsExLayered);
  pet->setLayeredWindowAttributes(kKey, 0, win::kLwaColorKey);
  return pet;
}

// Which window pixels the fish covers, worked out from the picture file
// alone: the opaque pixels of the picture scaled to 88 x 52, cut to 87 x 53.
QRegion fishPixels(Picture picture) {
  const QImage fish = scaledNearest(loadPicture(picture), QSize(88, 52));
  QRegion covered;
  for (int y = 0; y < 53; ++y)
    for (int x = 0; x < 87; ++x)
      if (fish.valid(x, y) && qAlpha(fish.pixel(x, y)) == 255 && (fish.pixel(x, y) | 0xFF000000u) != toRgb(kKey))
        covered += QRect(x, y, 1, 1);
  return covered;
}

struct ShapeCase {
  const char* name;
  bool image1, image2;
};

class Shape : public ::testing::TestWithParam<ShapeCase> {};

TEST_P(Shape, ShowsExactlyTheFishPixels) {
  RecordingEvents events;
  TickGate ticks;
  auto pet = keyedPet(events, ticks);
  pet->setControlVisible(Form1::Image1, GetParam().image1);
  pet->setControlVisible(Form1::Image2, GetParam().image2);

  QRegion expected;
  if (GetParam().image1) expected += fishPixels(Picture::FishLeft);
  if (GetParam().image2) expected += fishPixels(Picture::FishRight);
  const QRegion shown = pet->widget()->mask().intersected(pet->widget()->rect());
  EXPECT_EQ(shown, expected) << "extra pixels: " << shown.subtracted(expected).rectCount()
                             << ", lost pixels: " << expected.subtracted(shown).rectCount();
  // Qt reads an empty mask as "no mask": the whole window would show.
  EXPECT_FALSE(pet->widget()->mask().isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Pictures, Shape,
                         ::testing::Values(ShapeCase{"none", false, false},
                                           ShapeCase{"left", true, false},
                                           ShapeCase{"right", false, true},
                                           ShapeCase{"both", true, true}),
                         [](const ::testing::TestParamInfo<ShapeCase>& row) { return std::string(row.param.name); });

TEST(ShapeRules, FishPicturesLeaveSomethingToSee) {
  EXPECT_GT(fishPixels(Picture::FishLeft).boundingRect().width(), 60);
  EXPECT_GT(fishPixels(Picture::FishRight).boundingRect().height(), 30);
}

TEST(ShapeRules, NoShapeUntilTheWindowIsLayeredAndKeyed) {
  RecordingEvents events;
  TickGate ticks;
  QtWindow pet(Form1Layout(), events, 15, 15, ticks);
  pet.setBackColour(kKey);
  pet.setLayeredWindowAttributes(kKey, 0, win::kLwaColorKey);
  EXPECT_TRUE(pet.widget()->mask().isEmpty()) << "keyed without the layered style";
  pet.setWindowLong(win::kGwlExStyle, win::kWsExLayered);
  EXPECT_FALSE(pet.widget()->mask().isEmpty());
  pet.setWindowLong(win::kGwlExStyle, 0);
  EXPECT_TRUE(pet.widget()->mask().isEmpty());
}

TEST(ShapeRules, ABackgroundOtherThanTheKeyShowsTheWholeWindow) {
  RecordingEvents events;
  TickGate ticks;
  auto pet = keyedPet(events, ticks);
  pet->setBackColour(0x00400000);
  EXPECT_EQ(pet->widget()->mask(), QRegion(pet->widget()->rect()));
}

TEST(Scaling, NearestNeighbourMakesNoNewColour) {
  for (Picture picture : {Picture::FishLeft, Picture::FishRight}) {
    const QImage source = loadPicture(picture);
    ASSERT_EQ(source.size(), QSize(160, 124)) << "the GIF reader is missing";
    QSet<QRgb> colours;
    for (int y = 0; y < source.height(); ++y)
      for (int x = 0; x < source.width(); ++x)
        if (qAlpha(source.pixel(x, y)) == 255) colours.insert(source.pixel(x, y));
    const QImage scaled = scaledNearest(source, QSize(88, 52));
    int blended = 0;
    for (int y = 0; y < scaled.height(); ++y)
      for (int x = 0; x < scaled.width(); ++x) {
        const QRgb p = scaled.pixel(x, y);
        if (qAlpha(p) != 0 && (qAlpha(p) != 255 || !colours.contains(p))) ++blended;
      }
    EXPECT_EQ(blended, 0);
  }
}

}  // namespace
}  // namespace guizzolo::qt::test
