#include "KorvaneProgress.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

namespace korvane {

bool StderrIsTerminal()
{
#if defined(_WIN32)
    return _isatty(_fileno(stderr)) != 0;
#else
    return isatty(STDERR_FILENO) != 0;
#endif
}

namespace {

// "0:07", "12:30", "1:02:03"
void FormatDuration(double seconds, char* out, size_t size)
{
    if (!(seconds >= 0.0) || seconds > 360000.0)
    {
        std::snprintf(out, size, "--:--");
        return;
    }
    const long s = static_cast<long>(std::lround(seconds));
    if (s >= 3600)
        std::snprintf(out, size, "%ld:%02ld:%02ld", s / 3600, (s / 60) % 60, s % 60);
    else
        std::snprintf(out, size, "%ld:%02ld", s / 60, s % 60);
}

} // namespace

ProgressBar::ProgressBar(bool enabled, int64_t total)
    : enabled_(enabled && total > 1), total_(total), start_(std::chrono::steady_clock::now()),
      lastDraw_(start_)
{
}

ProgressBar::~ProgressBar()
{
    Clear();
}

void ProgressBar::Show(int64_t index, double frame)
{
    if (!enabled_)
        return;
    const auto now = std::chrono::steady_clock::now();
    if (drawnWidth_ > 0 && index > 0 && now - lastDraw_ < std::chrono::milliseconds(100))
        return;
    lastDraw_ = now;

    const double elapsed = std::chrono::duration<double>(now - start_).count();
    char perFrame[32] = "--", left[32] = "--:--";
    if (index > 0)
    {
        const double per = elapsed / static_cast<double>(index);
        if (per < 1.0)
            std::snprintf(perFrame, sizeof(perFrame), "%.0f ms", per * 1000.0);
        else
            std::snprintf(perFrame, sizeof(perFrame), "%.2f s", per);
        FormatDuration(per * static_cast<double>(total_ - index), left, sizeof(left));
    }

    constexpr int kBar = 20;
    const int filled = static_cast<int>(kBar * index / total_);
    char bar[kBar + 1];
    for (int i = 0; i < kBar; ++i)
        bar[i] = i < filled ? '#' : '.';
    bar[kBar] = '\0';

    char line[160];
    int n = std::snprintf(line, sizeof(line), "frame %-8g [%s] %lld/%lld  %s/frame  %s left", frame, bar,
                          static_cast<long long>(index + 1), static_cast<long long>(total_), perFrame, left);
    if (n < 0)
        return;
    if (n >= static_cast<int>(sizeof(line)))
        n = static_cast<int>(sizeof(line)) - 1;
    // Pad over the rest of a longer previous line.
    std::fputc('\r', stderr);
    std::fputs(line, stderr);
    for (int i = n; i < drawnWidth_; ++i)
        std::fputc(' ', stderr);
    drawnWidth_ = n > drawnWidth_ ? n : drawnWidth_;
    std::fflush(stderr);
}

void ProgressBar::Clear()
{
    if (!enabled_ || drawnWidth_ == 0)
        return;
    std::fputc('\r', stderr);
    for (int i = 0; i < drawnWidth_; ++i)
        std::fputc(' ', stderr);
    std::fputc('\r', stderr);
    std::fflush(stderr);
    drawnWidth_ = 0;
}

} // namespace korvane
