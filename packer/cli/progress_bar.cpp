#include "packer/cli/progress_bar.h"

#include <stdio.h>

#include <string>

#include "packer/system/platform.h"

namespace {

const int kBarWidth = 40;

// One frame of the bar, without the leading carriage return.
std::string ProgressLine(uint64_t done, uint64_t total)
{
    if (done > total)
        done = total;
    int percent = total == 0 ? 100 : (int)(done * 100 / total);
    int filled = percent * kBarWidth / 100;
    std::string line = "morlu-pack: packing [";
    line.append((size_t)filled, '#');
    line.append((size_t)(kBarWidth - filled), '.');
    char tail[8];
    snprintf(tail, sizeof tail, "] %3d%%", percent);
    return line + tail;
}

} // namespace

ProgressBar::ProgressBar(uint64_t total, bool enabled)
    : total_(total), shown_(enabled && total >= kProgressMinInput && IsTerminal(stderr))
{
}

ProgressBar::~ProgressBar()
{
    Clear();
}

void ProgressBar::Update(uint64_t done)
{
    if (!shown_)
        return;
    int percent = total_ == 0 ? 100 : (int)((done > total_ ? total_ : done) * 100 / total_);
    if (percent == lastPercent_)
        return;
    lastPercent_ = percent;
    fprintf(stderr, "\r%s", ProgressLine(done, total_).c_str());
    fflush(stderr);
    drawn_ = true;
}

void ProgressBar::Clear()
{
    if (!drawn_)
        return;
    fprintf(stderr, "\r%*s\r", (int)ProgressLine(0, 1).size(), "");
    fflush(stderr);
    drawn_ = false;
    lastPercent_ = -1;
}
