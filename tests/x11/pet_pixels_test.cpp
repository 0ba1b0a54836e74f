// What the pet window shows and where it lets presses through, worked out
// without a display: the key colour's pixels are cut out, and only they.
#include <gtest/gtest.h>

#include <set>

#include "app/form1.h"
#include "platform/image/gif_decoder.h"
#include "platform/x11/embedded.h"
#include "platform/x11/pet_pixels.h"

namespace guizzolo::x11::test {
namespace {

constexpr Colour kKey = Form1::kKeyColour;

image::Image fish(Picture p) {
  const embedded::Bytes& b = p == Picture::FishLeft ? embedded::kFishLeftGif : embedded::kFishRightGif;
  return image::decodeGif(b.data, b.size);
}

using PixelSet = std::set<std::pair<int, int>>;

// The pixels the shape lets through.
PixelSet shown(const PetPixels& p) {
  PixelSet out;
  for (const ShapeRect& r : p.shape)
    for (int y = r.y; y < r.y + r.height; ++y)
      for (int x = r.x; x < r.x + r.width; ++x) out.insert({x, y});
  return out;
}

// Worked out from the picture alone: its opaque pixels, scaled to the
// control (88 x 52) and cut to the window (87 x 53).
PixelSet covered(const image::Image& scaled) {
  PixelSet out;
  for (int y = 0; y < 53 && y < scaled.height; ++y)
    for (int x = 0; x < 87 && x < scaled.width; ++x)
      if (scaled.opaque[static_cast<std::size_t>(y * scaled.width + x)]) out.insert({x, y});
  return out;
}

struct ShapeCase {
  const char* name;
  bool left, right;
};

class Shape : public ::testing::TestWithParam<ShapeCase> {};

TEST_P(Shape, ShowsExactlyTheFishPixels) {
  const image::Image left = image::scaledNearest(fish(Picture::FishLeft), 88, 52);
  const image::Image right = image::scaledNearest(fish(Picture::FishRight), 88, 52);
  std::vector<PlacedPicture> pictures;
  PixelSet expected;
  if (GetParam().left) {
    pictures.push_back({&left, 0, 0});
    const PixelSet c = covered(left);
    expected.insert(c.begin(), c.end());
  }
  if (GetParam().right) {
    pictures.push_back({&right, 0, 0});
    const PixelSet c = covered(right);
    expected.insert(c.begin(), c.end());
  }
  const PetPixels p = composePet(87, 53, kKey, true, kKey, pictures);
  EXPECT_EQ(shown(p), expected);
  for (int y = 0; y < 53; ++y)
    for (int x = 0; x < 87; ++x) {
      const std::uint32_t px = p.argb[static_cast<std::size_t>(y * 87 + x)];
      // Cut pixels are fully transparent (for a compositor), the others opaque.
      EXPECT_EQ(px == 0, expected.count({x, y}) == 0) << x << "," << y;
      if (px != 0) {
        EXPECT_EQ(px >> 24, 0xFFu);
      }
    }
  // The last row is background in both pictures.
  for (const ShapeRect& r : p.shape) EXPECT_LT(r.y, 52);
}

INSTANTIATE_TEST_SUITE_P(Pictures, Shape,
                         ::testing::Values(ShapeCase{"none", false, false}, ShapeCase{"left", true, false},
                                           ShapeCase{"right", false, true}, ShapeCase{"both", true, true}),
                         [](const ::testing::TestParamInfo<ShapeCase>& row) { return std::string(row.param.name); });

TEST(ShapeRules, FishPicturesLeaveSomethingToSeeAndNoKeyColour) {
  for (Picture pic : {Picture::FishLeft, Picture::FishRight}) {
    const image::Image source = fish(pic);
    ASSERT_EQ(source.width, 160);
    ASSERT_EQ(source.height, 124);
    const image::Image scaled = image::scaledNearest(source, 88, 52);
    const PetPixels p = composePet(87, 53, kKey, true, kKey, {{&scaled, 0, 0}});
    EXPECT_GT(shown(p).size(), 1500u);
    for (std::size_t i = 0; i < source.rgb.size(); ++i)
      if (source.opaque[i]) {
        EXPECT_NE(source.rgb[i] & 0xFFFFFFu, toRgb(kKey));
      }
  }
}

TEST(ShapeRules, NotKeyedShowsTheWholeWindowInItsColour) {
  const PetPixels p = composePet(87, 53, 0x00400000, false, kKey, {});
  EXPECT_TRUE(p.shape.empty());
  EXPECT_FALSE(p.keyed);
  for (std::uint32_t px : p.argb) EXPECT_EQ(px, 0xFF000040u);
}

TEST(ShapeRules, ABackgroundOtherThanTheKeyShowsTheWholeWindow) {
  const PetPixels p = composePet(87, 53, 0x00400000, true, kKey, {});
  EXPECT_EQ(shown(p).size(), 87u * 53u);
}

TEST(ShapeRules, ShapeRowsAreBandedForTheServer) {
  const image::Image scaled = image::scaledNearest(fish(Picture::FishLeft), 88, 52);
  const PetPixels p = composePet(87, 53, kKey, true, kKey, {{&scaled, 0, 0}});
  for (std::size_t i = 1; i < p.shape.size(); ++i) {
    const ShapeRect& a = p.shape[i - 1];
    const ShapeRect& b = p.shape[i];
    EXPECT_TRUE(a.y < b.y || (a.y == b.y && a.x + a.width < b.x)) << "rect " << i;
  }
}

TEST(Scaling, NearestNeighbourMakesNoNewColour) {
  for (Picture pic : {Picture::FishLeft, Picture::FishRight}) {
    const image::Image source = fish(pic);
    std::set<std::uint32_t> colours;
    for (std::size_t i = 0; i < source.rgb.size(); ++i)
      if (source.opaque[i]) colours.insert(source.rgb[i]);
    for (auto [w, h] : {std::pair{88, 52}, std::pair{176, 104}, std::pair{110, 65}}) {
      const image::Image scaled = image::scaledNearest(source, w, h);
      ASSERT_EQ(scaled.width, w);
      for (std::size_t i = 0; i < scaled.rgb.size(); ++i)
        if (scaled.opaque[i]) {
          EXPECT_EQ(colours.count(scaled.rgb[i]), 1u);
        }
    }
  }
}

TEST(Scaling, DoubleScaleShowsTheSameFishTwiceAsLarge) {
  const image::Image source = fish(Picture::FishRight);
  const auto count = [](const image::Image& i) {
    std::size_t n = 0;
    for (bool o : i.opaque) n += o;
    return n;
  };
  const double one = static_cast<double>(count(image::scaledNearest(source, 88, 52)));
  const double two = static_cast<double>(count(image::scaledNearest(source, 176, 104)));
  EXPECT_NEAR(two / one, 4.0, 0.2);
}

}  // namespace
}  // namespace guizzolo::x11::test
