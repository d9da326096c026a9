// The progress bar's bookkeeping: see progress_tracker.h.
#include "progress_tracker.h"

namespace korvale {

void ProgressTracker::setMinimum(int32_t value) {
  minimum_ = value;
  rangeChanged();
}

void ProgressTracker::setMaximum(int32_t value) {
  maximum_ = value;
  rangeChanged();
}

bool ProgressTracker::setPosition(int32_t value) {
  position_ = withinRange(value);
  if (filledPixels(position_) == filledPixels(controlPosition_)) return false;
  controlPosition_ = position_;
  return true;
}

int32_t ProgressTracker::filledPixels(int32_t value) const {
  if (maximum_ <= minimum_) return 0;
  const int64_t done = int64_t{value} - minimum_;
  return static_cast<int32_t>(done * width_ / (int64_t{maximum_} - minimum_));
}

int32_t ProgressTracker::withinRange(int32_t value) const {
  if (value > maximum_) value = maximum_;
  if (value < minimum_) value = minimum_;
  return value;
}

void ProgressTracker::rangeChanged() {
  // The control clamps its own position when its range changes.
  position_ = withinRange(position_);
  controlPosition_ = withinRange(controlPosition_);
}

}  // namespace korvale
