// The Windows build draws no plot yet: --plot is refused before the remote is
// touched.
#include "measure_plot.h"

bool PlotSupported() {
    return false;
}

bool WritePlot(const std::string&, const std::vector<MeasureSample>&, const MeasureSummary&,
               const MeasureThresholds&, std::string& error) {
    error = "--plot is not available in the Windows build";
    return false;
}
