// Settings read from the environment and the X resources: the screen scale,
// the session bus, the grab hand; and the one configure of a tick.
#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <cmath>
#include <string>

#include "platform/x11/configure.h"
#include "platform/x11/cursor_file.h"
#include "platform/x11/embedded.h"
#include "platform/x11/qt_loader.h"
#include "platform/x11/scale.h"

namespace guizzolo::x11::test {
namespace {

TEST(Scale, ResourceDpi) {
  const struct {
    const char* resources;
    std::optional<double> dpi;
  } rows[] = {
      {"", std::nullopt},
      {"Xft.dpi:\t192\n", 192.0},
      {"Xft.antialias:\t1\nXft.dpi: 144\nXft.hinting:\t1\n", 144.0},
      {"Xft.dpi:\t96\nXft.dpi:\t120\n", 120.0},  // the last one wins
      {"Xft.dpi:\tabc\n", std::nullopt},
      {"Xft.dpi:\t0\n", std::nullopt},
      {"Xft.dpi:\t-96\n", std::nullopt},
      {"*dpi:\t192\n", std::nullopt},
      {"Xft.dpi:\t192 ", 192.0},
  };
  for (const auto& row : rows) EXPECT_EQ(xftDpi(row.resources), row.dpi) << row.resources;
}

TEST(Scale, FactorOutsideTheSaneRangeIsDropped) {
  const struct {
    const char* value;
    std::optional<double> factor;
    bool sane;
  } rows[] = {
      {nullptr, std::nullopt, true}, {"", std::nullopt, true},   {"2", 2.0, true},
      {"0.25", 0.25, true},          {"8", 8.0, true},            {"1.5", 1.5, true},
      {"0", std::nullopt, false},    {"-1", std::nullopt, false}, {"1000", std::nullopt, false},
      {"0.1", std::nullopt, false},  {"abc", std::nullopt, false}, {"nan", std::nullopt, false},
      {"inf", std::nullopt, false},  {"2x", std::nullopt, false},
  };
  for (const auto& row : rows) {
    const ScaleSetting s = scaleFactorSetting(row.value);
    EXPECT_EQ(s.factor, row.factor) << (row.value ? row.value : "(unset)");
    EXPECT_EQ(s.sane, row.sane) << (row.value ? row.value : "(unset)");
  }
}

TEST(Scale, DeviceScaleMatchesQt) {
  EXPECT_DOUBLE_EQ(deviceScale(std::nullopt, std::nullopt), 1.0);
  EXPECT_DOUBLE_EQ(deviceScale(192.0, std::nullopt), 2.0);
  EXPECT_DOUBLE_EQ(deviceScale(std::nullopt, 2.0), 2.0);
  EXPECT_DOUBLE_EQ(deviceScale(144.0, 2.0), 3.0);
  // Below 96 dpi (Enlightenment sets 75) Qt keeps the panel at its 96-dpi
  // size: so does the fish. The scale factor still shrinks both.
  EXPECT_DOUBLE_EQ(deviceScale(75.0, std::nullopt), 1.0);
  EXPECT_DOUBLE_EQ(deviceScale(75.0, 0.5), 0.5);
  // The fish window at 192 dpi or at a factor of 2: 174 x 106.
  EXPECT_EQ(toDevice(87, deviceScale(192.0, std::nullopt)), 174);
  EXPECT_EQ(toDevice(53, deviceScale(std::nullopt, 2.0)), 106);
  EXPECT_EQ(toLogical(toDevice(-30, 1.5), 1.5), -30);
}

TEST(Configure, OneRequestHoldsWhatChangedAndNothingElse) {
  const Geometry at{100, 200, 87, 53};
  EXPECT_TRUE(configureFor(at, at, false).empty()) << "nothing changed: nothing sent";

  const ConfigureRequest both = configureFor(at, {107, 195, 87, 53}, false);
  EXPECT_EQ(both.mask, XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y);
  EXPECT_EQ(both.values, (std::vector<std::uint32_t>{107, 195}));

  const ConfigureRequest raiseOnly = configureFor(at, at, true);
  EXPECT_EQ(raiseOnly.mask, XCB_CONFIG_WINDOW_STACK_MODE);
  EXPECT_EQ(raiseOnly.values, (std::vector<std::uint32_t>{XCB_STACK_MODE_ABOVE}));

  const ConfigureRequest all = configureFor(at, {-30, 200, 174, 106}, true);
  EXPECT_EQ(all.mask, XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_WIDTH | XCB_CONFIG_WINDOW_HEIGHT |
                          XCB_CONFIG_WINDOW_STACK_MODE);
  EXPECT_EQ(static_cast<std::int32_t>(all.values[0]), -30) << "negative places go as they are";
  EXPECT_EQ(all.values.size(), 4u);
}

TEST(SessionBus, NoAddressThatCouldStartABus) {
  const auto none = [](const std::string&) { return false; };
  const auto there = [](const std::string& path) { return path == "/run/user/1000/bus"; };
  EXPECT_EQ(noBusAddress("unix:path=/run/bus", nullptr, none), "");
  EXPECT_EQ(noBusAddress(nullptr, "/run/user/1000", there), "") << "the usual socket is there";
  const std::string made = noBusAddress(nullptr, nullptr, none);
  EXPECT_EQ(made.rfind("unix:path=", 0), 0u) << "a plain socket address: never autolaunch";
  EXPECT_EQ(noBusAddress("", "/run/user/1000", none), made);
}

TEST(Pointer, GrabHandFromTheCursorFile) {
  const auto hand = decodeCursor(embedded::kGrabHandCur.data, embedded::kGrabHandCur.size);
  ASSERT_TRUE(hand.has_value());
  EXPECT_EQ(hand->width, 32);
  EXPECT_EQ(hand->height, 32);
  EXPECT_EQ(hand->hotX, 4);
  EXPECT_EQ(hand->hotY, 16);
  // The hot spot is inside the ring of the fingers: see-through.
  EXPECT_EQ(hand->argb[16 * 32 + 4] >> 24, 0u);
  int opaque = 0;
  for (std::uint32_t p : hand->argb) opaque += (p >> 24) == 0xFF;
  EXPECT_EQ(opaque, 32 * 32 - 506) << "as many as the picture of the hand has";
  // Damaged files are refused, not read past their end.
  for (std::size_t cut : {std::size_t{0}, std::size_t{5}, std::size_t{22}, std::size_t{100}, embedded::kGrabHandCur.size - 1})
    EXPECT_FALSE(decodeCursor(embedded::kGrabHandCur.data, cut).has_value()) << cut;
}

}  // namespace
}  // namespace guizzolo::x11::test
