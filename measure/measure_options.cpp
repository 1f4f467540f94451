#include "measure_options.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

// A number that is the whole of text, finite; nothing otherwise.
std::optional<double> Number(const std::string& text) {
    if (text.empty() || std::strchr(" \t\n", text[0]) != nullptr) {
        return std::nullopt;
    }
    errno = 0;
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (*end != '\0' || errno != 0 || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

// One option that takes a value: its name and where the value goes.
struct ValueOption {
    const char* name;
    bool isPath;
    std::string MeasureOptions::*path;
    std::optional<double> MeasureThresholds::*threshold;
};

const ValueOption kValueOptions[] = {
    {"--seconds", false, nullptr, nullptr},
    {"--csv", true, &MeasureOptions::csvPath, nullptr},
    {"--plot", true, &MeasureOptions::plotPath, nullptr},
    {"--max-bias", false, nullptr, &MeasureThresholds::maxBias},
    {"--max-noise", false, nullptr, &MeasureThresholds::maxNoise},
    {"--min-rate", false, nullptr, &MeasureThresholds::minRate},
    {"--max-missed", false, nullptr, &MeasureThresholds::maxMissed},
};

// Puts value into the option's place; false with error when it does not fit.
bool TakeValue(const ValueOption& option, const std::string& value, MeasureOptions& options,
               std::string& error) {
    if (option.isPath) {
        if (value.empty()) {
            error = std::string(option.name) + " needs a file name";
            return false;
        }
        options.*option.path = value;
        return true;
    }
    const std::optional<double> number = Number(value);
    const bool seconds = option.threshold == nullptr;
    if (!number || (seconds && *number <= 0.0) ||
        (!seconds && (*number < 0.0 || *number > kMostLimit))) {
        error = std::string(option.name) + " '" + value + "' is not " +
                (seconds ? "a number of seconds above 0" : "a number from 0 to 1e12");
        return false;
    }
    if (seconds) {
        options.seconds = *number;
    } else {
        options.thresholds.*option.threshold = *number;
    }
    return true;
}

} // namespace

std::string MeasureUsage() {
    return "usage: tobrisk-measure [--seconds N] [--csv FILE] [--plot FILE.png] [--max-bias N]\n"
           "                       [--max-noise N] [--min-rate N] [--max-missed N]\n"
           "       tobrisk-measure --help | --version\n";
}

bool ParseMeasureOptions(int argc, const char* const* argv, MeasureOptions& options,
                         std::string& error) {
    options = MeasureOptions{};
    for (int i = 1; i < argc; ++i) {
        std::string argument = argv[i];
        if (argument == "--help" || argument == "--version") {
            (argument == "--help" ? options.help : options.version) = true;
            continue;
        }
        const size_t equals = argument.find('=');
        const std::string name = argument.substr(0, equals);
        const ValueOption* option = nullptr;
        for (const ValueOption& candidate : kValueOptions) {
            option = name == candidate.name ? &candidate : option;
        }
        if (option == nullptr) {
            error = "unknown option '" + argument + "'";
            return false;
        }
        std::string value;
        if (equals != std::string::npos) {
            value = argument.substr(equals + 1);
        } else if (i + 1 < argc) {
            value = argv[++i];
        } else {
            error = name + " needs a value";
            return false;
        }
        if (!TakeValue(*option, value, options, error)) {
            return false;
        }
    }
    return true;
}
