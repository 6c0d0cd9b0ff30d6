#include "bench_page.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

QImage SyntheticPage(int width, int height)
{
    QImage page(width, height, QImage::Format_BGR888);
    uint32_t noise = 12345;
    for (int y = 0; y < height; ++y) {
        uchar *row = page.scanLine(y);
        const double fy = double(y) / height;
        for (int x = 0; x < width; ++x) {
            const double fx = double(x) / width;
            noise = noise * 1664525u + 1013904223u;
            const int n = int(noise >> 28) - 8;
            // Paper white around a "photograph" with soft shading and a few edges.
            int b = 235, g = 238, r = 240;
            if (fx > 0.1 && fx < 0.9 && fy > 0.1 && fy < 0.6) {
                const double shade = 0.5 + 0.5 * std::sin(fx * 9.0) * std::cos(fy * 7.0);
                b = int(60 + 120 * shade);
                g = int(80 + 100 * shade * fy);
                r = int(100 + 140 * (1.0 - shade) * fx);
                if ((x / 180 + y / 240) % 5 == 0)
                    r = 30;
            } else if (fy > 0.65 && fy < 0.9 && (y / 40) % 2 == 0 && (x / 12) % 7 != 0) {
                b = g = r = 40;   // lines of text
            }
            row[x * 3] = uchar(std::clamp(b + n, 0, 255));
            row[x * 3 + 1] = uchar(std::clamp(g + n, 0, 255));
            row[x * 3 + 2] = uchar(std::clamp(r + n, 0, 255));
        }
    }
    return page;
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
