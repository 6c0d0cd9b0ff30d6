#pragma once
// A synthetic scanned page and the timing helpers of the benchmarks.
#include <QImage>
#include <functional>
#include <vector>

// A 24-bit page with a smooth photo-like area, edges, text and sensor noise.
QImage SyntheticPage(int width, int height);

struct Timed {
    std::function<void()> work;
    std::function<void()> prepare;   // runs untimed before each run of work
};

// Median wall times in milliseconds of reps runs of each contender, taking
// turns so that a change in the machine's load hits all of them alike.
std::vector<double> MediansMs(int reps, const std::vector<Timed> &contenders);

// Prints "operation: ours X ms, REFERENCE Y ms, ratio Z".
void Report(const char *operation, double ours, const char *reference, double theirs);
