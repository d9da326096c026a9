// The window's progress-bar bookkeeping: the library reads back every position it set, the
// control is told only what changes its fill, and what it shows always matches.
#include "progress_tracker.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>

namespace {

using korvale::ProgressTracker;

constexpr int32_t kBarWidth = 465;

// A progress-bar control as the tracker drives it: it holds the last value it was told,
// kept within its range.
struct Bar {
  ProgressTracker tracker{kBarWidth};
  int32_t shown = 0;
  int messages = 0;

  void setMinimum(int32_t value) {
    tracker.setMinimum(value);
    shown = std::max(shown, value);
  }
  void setMaximum(int32_t value) {
    tracker.setMaximum(value);
    shown = std::min(shown, value);
  }

  void setPosition(int32_t value) {
    if (tracker.setPosition(value)) {
      shown = tracker.position();
      ++messages;
    }
    EXPECT_EQ(tracker.filledPixels(shown), tracker.filledPixels(tracker.position()))
        << "the bar shows another fill than the position " << tracker.position();
  }
};

// The library's calls for a file of `size` bytes: read back each position it set, and end
// with the control at 0.
TEST(ProgressTracker, FollowsTheLibrarysSequenceWithFewMessages) {
  for (int32_t size : {252, 253, 600, 252 * 1000, 123456789}) {
    SCOPED_TRACE(size);
    Bar bar;
    bar.setMinimum(0);
    bar.setMaximum(size);
    bar.setPosition(0);
    int32_t expected = 0;
    for (int32_t left = size - 252; left > 0; left -= std::min(left, 252)) {
      const int32_t read = std::min(left, 252);
      bar.setPosition(bar.tracker.position() + read);
      expected += read;
      ASSERT_EQ(bar.tracker.position(), expected);
    }
    bar.setPosition(0);
    EXPECT_EQ(bar.tracker.position(), 0);
    EXPECT_EQ(bar.shown, 0);
    // Each message moves the fill by at least one pixel up, plus the one back to 0.
    EXPECT_LE(bar.messages, kBarWidth + 1);
    if (size >= 600) {
      EXPECT_GE(bar.messages, 2);  // some fill, then back to 0
    }
  }
}

TEST(ProgressTracker, SmallFileMovesTheBarAtEveryBlock) {
  Bar bar;
  bar.setMinimum(0);
  bar.setMaximum(600);
  for (int32_t position : {0, 252, 348, 0}) bar.setPosition(position);
  EXPECT_EQ(bar.messages, 3);  // 0 is what the control holds already
}

TEST(ProgressTracker, KeepsPositionsWithinTheRangeAsTheControlDoes) {
  struct Case {
    int32_t minimum, maximum, set, expected;
  };
  for (const Case& c : {Case{10, 20, 5, 10}, Case{10, 20, 25, 20}, Case{10, 20, 15, 15},
                        Case{-50, 50, -60, -50}, Case{0, INT32_MAX, INT32_MAX, INT32_MAX}}) {
    Bar bar;
    bar.setMaximum(c.maximum);
    bar.setMinimum(c.minimum);
    bar.setPosition(c.set);
    EXPECT_EQ(bar.tracker.position(), c.expected) << c.minimum << ".." << c.maximum << " " << c.set;
  }

  Bar bar;
  bar.setPosition(80);
  bar.setMaximum(50);  // the range shrinks below the position
  EXPECT_EQ(bar.tracker.position(), 50);
  bar.setPosition(bar.tracker.position());
}

TEST(ProgressTracker, EmptyRangeSendsNothingButKeepsThePosition) {
  Bar bar;
  bar.setMinimum(7);
  bar.setMaximum(7);
  bar.setPosition(9);
  EXPECT_EQ(bar.tracker.position(), 7);
  EXPECT_EQ(bar.messages, 0);
}

}  // namespace
