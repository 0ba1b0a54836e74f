// The windows' layouts, converted from twips at 15 twips per pixel.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFontInfo>
#include <QLabel>
#include <QMouseEvent>

#include "hunger/form2.h"
#include "platform/qt/qt_window.h"
#include "qt_test_support.h"

namespace guizzolo::qt::test {
namespace {

struct PlacedControl {
  int id;
  QRect pixels;
};

TEST(Layout, PanelControlsLandOnTheirPixels) {
  RecordingEvents events;
  QtWindow panel(Form2Layout(), events, 15, 15);
  EXPECT_EQ(panel.widget()->size(), QSize(326, 93));
  EXPECT_EQ(panel.widget()->minimumSize(), panel.widget()->maximumSize()) << "not resizable";

  const PlacedControl table[] = {
      {Form2::Label2, QRect(8, 8, 129, 17)},    {Form2::Text1, QRect(144, 8, 41, 19)},
      {Form2::Label3, QRect(192, 8, 17, 17)},   {Form2::Command2, QRect(216, 8, 105, 17)},
      {Form2::Label4, QRect(8, 40, 313, 25)},   {Form2::Label1, QRect(8, 72, 129, 17)},
      {Form2::Command1, QRect(184, 72, 137, 17)},
      {Form2::Line1, QRect(8, 32, 313, 1)},  // from x 8 to x 320, both ends drawn
  };
  for (const PlacedControl& row : table)
    EXPECT_EQ(panel.controlWidget(row.id)->geometry(), row.pixels) << "control " << row.id;
}

TEST(Layout, PanelFocusStartsAtTheExitButtonAndFollowsTabIndexes) {
  RecordingEvents events;
  QtWindow panel(Form2Layout(), events, 15, 15);
  QWidget* exit = panel.controlWidget(Form2::Command1);
  QWidget* field = panel.controlWidget(Form2::Text1);
  QWidget* feed = panel.controlWidget(Form2::Command2);
  const auto nextByTab = [](QWidget* w) {
    do w = w->nextInFocusChain();
    while (!(w->focusPolicy() & Qt::TabFocus));
    return w;
  };
  EXPECT_EQ(nextByTab(exit), field);
  EXPECT_EQ(nextByTab(field), feed);
  EXPECT_EQ(nextByTab(feed), exit);
  for (int label : {Form2::Label1, Form2::Label2, Form2::Label3, Form2::Label4})
    EXPECT_EQ(panel.controlWidget(label)->focusPolicy(), Qt::NoFocus) << "label " << label;
  panel.show();
  EXPECT_EQ(panel.widget()->focusWidget(), exit);
}

TEST(Layout, PanelLabelsKeepTheirColoursAndFonts) {
  RecordingEvents events;
  QtWindow panel(Form2Layout(), events, 15, 15);
  const auto* date = static_cast<QLabel*>(panel.controlWidget(Form2::Label4));
  EXPECT_EQ(date->palette().color(QPalette::Window), QColor(64, 0, 0));
  EXPECT_EQ(date->palette().color(QPalette::WindowText), QColor(255, 255, 255));
  EXPECT_TRUE(date->autoFillBackground());
  const auto* hunger = static_cast<QLabel*>(panel.controlWidget(Form2::Label2));
  EXPECT_EQ(hunger->palette().color(QPalette::Window), QApplication::palette().color(QPalette::Button));

  const QFontInfo link(panel.controlWidget(Form2::Label1)->font());
  EXPECT_TRUE(link.bold());
  EXPECT_TRUE(link.italic());
  EXPECT_DOUBLE_EQ(link.pointSizeF(), 11.25);
  EXPECT_TRUE(link.family() == "Arial Narrow" || link.family() == "Liberation Sans Narrow") << link.family().toStdString();

  panel.setText(Form2::Label4, "Oggi è 06/12/26");
  EXPECT_EQ(panel.text(Form2::Label4), "Oggi è 06/12/26");
}

TEST(Layout, PanelLabelClickReachesTheProgram) {
  RecordingEvents events;
  QtWindow panel(Form2Layout(), events, 15, 15);
  panel.show();
  QWidget* link = panel.controlWidget(Form2::Label1);
  QMouseEvent press(QEvent::MouseButtonPress, QPointF(5, 5), link->mapToGlobal(QPointF(5, 5)),
                    Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
  QMouseEvent release(QEvent::MouseButtonRelease, QPointF(5, 5), link->mapToGlobal(QPointF(5, 5)),
                      Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(link, &press);
  QApplication::sendEvent(link, &release);
  EXPECT_EQ(events.clicks, std::vector<int>{Form2::Label1});
}

// The pet is the program's own xcb window: a layout only it has is refused
// before any widget is made.
TEST(Layout, WhatOnlyThePetHasIsRefused) {
  RecordingEvents events;
  WindowLayout borderless = Form2Layout();
  borderless.style = WindowStyle::Borderless;
  WindowLayout timed = Form2Layout();
  timed.timers = {{100, true}};
  WindowLayout pictured = Form2Layout();
  pictured.controls.push_back(ControlLayout{});
  pictured.controls.back().kind = ControlKind::Picture;
  const std::size_t windowsBefore = QApplication::topLevelWidgets().size();
  for (const WindowLayout* layout : {&borderless, &timed, &pictured})
    EXPECT_THROW(QtWindow(*layout, events, 15, 15), Failure);
  EXPECT_EQ(QApplication::topLevelWidgets().size(), windowsBefore) << "a refused layout left a widget behind";
  QtWindow panel(Form2Layout(), events, 15, 15);
  EXPECT_THROW(panel.setTimerEnabled(1, true), Failure);
  EXPECT_THROW(panel.setWindowPos(win::kHwndTopMost, 0, 0, 10, 10, win::kSwpShowWindow), Failure);
}

}  // namespace
}  // namespace guizzolo::qt::test
