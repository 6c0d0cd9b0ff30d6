#pragma once
// Work over a range of rows or columns shared by two cores, the second a
// worker of the pool that is free.
#include <cstdint>
#include <functional>

// 2 when work of amount (at least twoFrom) may take a second core: the machine
// has one and is not already busy; a helper waiting for its turn only delays.
// 1 on a worker of the pool, which starts no more work beside itself.
int CoresFor(int64_t amount, int64_t twoFrom);

// Calls work(from, to) for the chunks of [begin, end), chunk long, on this
// thread and cores - 1 helpers of the pool, each taking the next chunk still to
// do: a helper that starts late leaves more to this one. Returns when all are
// done; throws again what a helper threw.
void ShareChunks(int begin, int end, int chunk, int cores, const std::function<void(int, int)> &work);
