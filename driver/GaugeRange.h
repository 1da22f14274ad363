#pragma once

#include <algorithm>

#include <QtGlobal>

// The range and position of a progress gauge. The range always satisfies minimum <= progress <=
// maximum: a new bound that crosses the other one moves it along, and the progress is kept
// within the bounds.
class GaugeRange {
public:
    int minimum() const { return minimum_; }
    int maximum() const { return maximum_; }
    int progress() const { return progress_; }

    // Truncated; 0 when maximum equals minimum.
    int percentDone() const {
        if (maximum_ == minimum_)
            return 0;
        const qint64 done = qint64(progress_) - minimum_;
        const qint64 range = qint64(maximum_) - minimum_;
        return int(done * 100 / range);
    }

    void setMinimum(int value) {
        minimum_ = value;
        maximum_ = std::max(maximum_, minimum_);
        progress_ = std::clamp(progress_, minimum_, maximum_);
    }
    void setMaximum(int value) {
        maximum_ = value;
        minimum_ = std::min(minimum_, maximum_);
        progress_ = std::clamp(progress_, minimum_, maximum_);
    }
    void setProgress(int value) { progress_ = std::clamp(value, minimum_, maximum_); }

private:
    int minimum_ = 0;
    int maximum_ = 100;
    int progress_ = 0;
};
