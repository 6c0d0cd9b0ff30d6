#pragma once
// A synthetic scanned page and the timing helpers of the benchmarks.
#include <QImage>
#include <functional>

// A 24-bit page with smooth photo-like areas, edges and sensor noise.
QImage SyntheticPage(int width, int height);

// Median wall time in milliseconds of reps runs of work; prepare runs untimed before each.
double MedianMs(int reps, const std::function<void()> &work, const std::function<void()> &prepare = {});

// Prints "operation: ours X ms, REFERENCE Y ms, ratio Z".
void Report(const char *operation, double ours, const char *reference, double theirs);
