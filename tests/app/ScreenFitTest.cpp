// Windows kept on the free area of a screen, with room for the frame.
#include <gtest/gtest.h>

#include "app/ScreenFit.h"

namespace {

TEST(ScreenFitTest, APlaceOnTheAreaIsKeptAndOneOffItComesOnWithItsFrame) {
  const QRect area(0, 0, 640, 400);
  EXPECT_EQ(FitRectInto(QRect(10, 0, 300, 200), area), QRect(10, 0, 300, 200));
  // Hanging over the bottom right: moved back in, title bar and borders too.
  const QRect moved = FitRectInto(QRect(500, 300, 300, 200), area);
  EXPECT_EQ(moved.size(), QSize(300, 200));
  EXPECT_TRUE(area.contains(moved.marginsAdded(kWindowFrameAllowance)));
  // Larger than the area: made smaller, never placed above or left of it.
  const QRect shrunk = FitRectInto(QRect(-2000, -900, 1024, 720), area);
  EXPECT_EQ(shrunk.marginsAdded(kWindowFrameAllowance), area);
  // A second screen left of the first has negative places.
  const QRect left(-1280, 0, 1280, 800);
  EXPECT_EQ(FitRectInto(QRect(-1200, 50, 300, 200), left), QRect(-1200, 50, 300, 200));
}

}  // namespace
