// A one-line progress bar on standard error for the frame loops of
// `korvane eval` and the sequence check of `korvane info`.
//
// The line is redrawn in place with a carriage return and wiped at the end,
// so nothing of it stays in the terminal. It is drawn only when asked to
// (the caller passes "standard error is a terminal and not --quiet"); a
// disabled bar writes nothing at all, so redirected output stays clean.
#pragma once

#include <chrono>
#include <cstdint>

namespace korvane {

// True when the process's standard error stream is a terminal.
bool StderrIsTerminal();

class ProgressBar
{
public:
    // total: number of frames in the loop (a bar with total < 2 stays silent).
    ProgressBar(bool enabled, int64_t total);
    ~ProgressBar();
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

    // Before work on frame number `index` (0-based) of the loop starts:
    // shows the frame value, the position, the mean time per finished frame
    // and the estimated time left. Redraws at most ten times a second (and
    // always for the first frame).
    void Show(int64_t index, double frame);
    // Wipes the line (before other output goes to the terminal); the next
    // Show draws it again.
    void Clear();

private:
    bool enabled_;
    int64_t total_;
    int drawnWidth_ = 0;
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point lastDraw_;
};

} // namespace korvane
