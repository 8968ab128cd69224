// The progress bar of `morlu-pack build` on standard error: drawn only on a
// terminal and only for inputs that take a while.
#pragma once
#include <cstdint>

// Inputs smaller than this pack in well under a second: no bar.
const uint64_t kProgressMinInput = 16u << 20;

class ProgressBar {
public:
    // total: input bytes to pack. enabled: the user did not ask for quiet.
    ProgressBar(uint64_t total, bool enabled);
    ~ProgressBar();
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

    void Update(uint64_t done);
    // Removes the bar so that messages after it start on a clean line.
    void Clear();

private:
    uint64_t total_;
    bool shown_;
    int lastPercent_ = -1;
    bool drawn_ = false;
};
