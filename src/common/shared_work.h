#pragma once
// Work over a range of rows or columns shared by two cores.
#include <cstdint>
#include <functional>

// 2 when work of amount (at least twoFrom) may take a second core: the machine
// has one and is not already busy; a helper waiting for its turn only delays.
int CoresFor(int64_t amount, int64_t twoFrom);

// Calls work(from, to) for the chunks of [begin, end), chunk long, on cores
// threads (1 or 2) each taking the next chunk still to do: a helper that
// starts late leaves more to this one. Returns when all are done.
void ShareChunks(int begin, int end, int chunk, int cores, const std::function<void(int, int)> &work);
