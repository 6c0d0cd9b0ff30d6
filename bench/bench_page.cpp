#include "bench_page.h"

#include "common/synthetic_scan.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

QImage SyntheticPage(int width, int height)
{
    // Paper white around a card with a photograph and lines of text, all with sensor noise.
    SyntheticCard card;
    card.rect = QRect(width / 10, height / 10, width * 8 / 10, height * 8 / 10);
    card.photo = true;
    card.shade = 40;
    card.noise = 8;
    card.seed = 12345;
    return MakeScan(width, height, {240, 238, 235, 8, 12345}, {card});
}

std::vector<double> MediansMs(int reps, const std::vector<Timed> &contenders)
{
    std::vector<std::vector<double>> times(contenders.size());
    for (int i = 0; i < reps; ++i) {
        for (size_t k = 0; k < contenders.size(); ++k) {
            if (contenders[k].prepare)
                contenders[k].prepare();
            const auto start = std::chrono::steady_clock::now();
            contenders[k].work();
            const auto end = std::chrono::steady_clock::now();
            times[k].push_back(std::chrono::duration<double, std::milli>(end - start).count());
        }
    }
    std::vector<double> medians;
    for (auto &t : times) {
        std::sort(t.begin(), t.end());
        medians.push_back(t[t.size() / 2]);
    }
    return medians;
}

void Report(const char *operation, double ours, const char *reference, double theirs)
{
    std::printf("%s: ours %.1f ms, %s %.1f ms, ratio %.2f\n", operation, ours, reference, theirs,
                theirs > 0 ? ours / theirs : 0.0);
    std::fflush(stdout);
}
