#pragma once
// What every benchmark measures with: a median of rounds and a stopwatch around a call.
#include <QElapsedTimer>

#include <algorithm>
#include <functional>
#include <vector>

namespace cht::bench {

/// The middle value of the rounds (the upper one of an even count); 0 when there were none.
inline double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

/// Milliseconds `f` took.
inline double timeMs(const std::function<void()>& f)
{
    QElapsedTimer clock;
    clock.start();
    f();
    return static_cast<double>(clock.nsecsElapsed()) / 1e6;
}

} // namespace cht::bench
