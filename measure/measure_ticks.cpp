#include "measure_ticks.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

Ticks RoundTicks(double lo, double hi, int atMost) {
    Ticks ticks;
    const double span = std::max(hi - lo, 1e-9);
    double power = std::pow(10.0, std::floor(std::log10(span / std::max(atMost, 2))));
    for (;; power *= 10.0) {
        for (double factor : {1.0, 2.0, 5.0}) {
            const double step = factor * power;
            const double first = std::ceil(lo / step - 1e-9);
            const double last = std::floor(hi / step + 1e-9);
            if (last - first + 1 <= atMost) {
                ticks.step = step;
                for (double n = first; n <= last; ++n) {
                    ticks.values.push_back(n * step == 0.0 ? 0.0 : n * step);
                }
                return ticks;
            }
        }
    }
}

std::string TickLabel(double value, double step) {
    const int decimals = std::max(0, static_cast<int>(-std::floor(std::log10(step) + 1e-9)));
    char text[48];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    const std::string label = text;
    return label.find_first_not_of("-0.") == std::string::npos ? label.substr(label[0] == '-') : label;
}
