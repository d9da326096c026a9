// The arithmetic behind the window's progress bar: which of the library's position updates
// change what the bar shows, so that only those reach the control.
#pragma once

#include <cstdint>

namespace korvale {

// Mirrors a progress-bar control: its range, the logical position the library sees, and
// the value the control was last told. Telling the control repaints it, which for a large
// file would cost more than the work itself; a new value is worth sending only when it
// fills a different number of pixels than the one the control holds.
class ProgressTracker {
 public:
  // `width`: the pixels the bar fills at its maximum. The control starts at range 0 to 100,
  // position 0.
  explicit ProgressTracker(int32_t width) : width_(width) {}

  // Range changes always reach the control; both keep the position within the new range.
  void setMinimum(int32_t value);
  void setMaximum(int32_t value);
  int32_t minimum() const { return minimum_; }
  int32_t maximum() const { return maximum_; }

  // The logical position, as the control would give it back had it been told every value.
  int32_t position() const { return position_; }

  // Sets the logical position, kept within the range as the control keeps it. True when
  // the control must be told: the position shows as a different fill than the control's.
  bool setPosition(int32_t value);

  // Pixels of the bar filled at `value`.
  int32_t filledPixels(int32_t value) const;

 private:
  int32_t withinRange(int32_t value) const;
  void rangeChanged();

  int32_t width_;
  int32_t minimum_ = 0;
  int32_t maximum_ = 100;
  int32_t position_ = 0;
  int32_t controlPosition_ = 0;
};

}  // namespace korvale
