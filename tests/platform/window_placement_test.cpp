#include "platform/ui/window_placement.h"

#include <gtest/gtest.h>

namespace {

TEST(WindowPlacement, TheFrameIsCentredOnItsOwnerThenKeptInsideTheAvailableArea) {
  const QRect screen(0, 0, 1280, 900);
  const QRect belowAPanel(0, 30, 1280, 870);
  const QSize frame(700, 500);
  const struct {
    const char* name;
    QRect owner;
    QSize frame;
    QRect available;
    QPoint topLeft;
  } cases[] = {
      {"centred", {300, 200, 557, 430}, frame, screen, {229, 165}},
      {"owner near the bottom-right corner", {1000, 700, 557, 430}, frame, screen, {580, 400}},
      {"owner past the top-left corner", {-400, -300, 557, 430}, frame, belowAPanel, {0, 30}},
      {"only the overflowing direction moves", {300, 700, 557, 430}, frame, screen, {229, 400}},
      {"larger than the area: its corner stays reachable", {300, 200, 557, 430}, {1400, 1000}, screen, {0, 0}},
  };
  for (const auto& c : cases) EXPECT_EQ(platform::placeFrame(c.owner, c.frame, c.available), c.topLeft) << c.name;
}

}  // namespace
