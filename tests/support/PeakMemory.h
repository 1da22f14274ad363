#pragma once

#include <QtGlobal>

// The resident memory of this process, for bounds on what a piece of work may take.
class PeakMemory {
public:
    // Starts a measurement: the kernel's peak is reset to the present resident size where it
    // allows that; otherwise growth is counted from the peak so far.
    PeakMemory();
    // How far the peak rose above the start, in KiB.
    qint64 growthKb() const;

private:
    qint64 baselineKb_ = 0;
};
