// Where a plot's axis labels go: at round values, steps of 1, 2 or 5 times a power
// of ten, as plotting tools put them. Shared by every plot, whatever draws it.
#ifndef TOBRISK_MEASURE_TICKS_H
#define TOBRISK_MEASURE_TICKS_H

#include <string>
#include <vector>

// The axis's ticks: every multiple of the smallest round step that gives at most
// atMost of them between lo and hi, both included.
struct Ticks {
    double step = 1.0;
    std::vector<double> values;
};
Ticks RoundTicks(double lo, double hi, int atMost);

// A tick's label: as many decimals as the step needs, the same for every tick of
// an axis ("0.0", "0.2"; "10", "-5").
std::string TickLabel(double value, double step);

#endif
