// The scenario a simulated remote follows: `key=value` pairs separated by `;`, as
// given in TINY_HID_SIM or by a test. docs/simulator.md lists every key.
#ifndef TOBRISK_SIM_SCENARIO_H
#define TOBRISK_SIM_SCENARIO_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct SimReplay; // sim_replay.h

constexpr int64_t kSimNever = INT64_MAX; // a moment, in microseconds, that never comes

// Buttons held from a moment on.
struct SimButtonHold {
    uint8_t byte1;  // button byte 1 of every report
    uint8_t byte2;  // button byte 2 of every report
    int64_t fromUs; // since opening
};

// A gyro that is not constant, for measuring a sensor: the register reads, in
// counts, bias + drift * t + amplitude * sin(2 pi t / period) + Gaussian noise of
// standard deviation noise, t in seconds since opening.
struct SimGyroSignal {
    double bias = 0.0;          // counts
    double noise = 0.0;         // standard deviation, counts
    double driftPerS = 0.0;     // counts per second
    double sineAmplitude = 0.0; // counts
    int64_t sinePeriodUs = 0;   // 0: no sine
};

struct SimScenario {
    bool present = true;                              // OpenHidHandle finds the remote
    bool stream = true;                               // data reports flow after the first 0x12
    std::optional<uint8_t> firstReportId;             // ID of the first data report, any mode
    std::optional<std::array<uint8_t, 3>> fixedAccel; // X, Y, Z instead of the motion
    std::optional<std::array<uint8_t, 3>> fixedAccelLow; // X's two low bits, Y's and Z's one
    std::vector<uint16_t> gyroValues;                 // register values, cycling; empty: motion
    std::optional<SimGyroSignal> gyroSignal;          // with a gyro_* key: instead of the motion
    int64_t latencyUs = 2000;                         // read request to its reply
    int64_t periodUs = 10000;                         // between two data reports
    int64_t homeFromUs = kSimNever;                   // byte 2 is 0x80 from then on
    std::optional<SimButtonHold> buttons;             // bytes 1 and 2 held from then on
    uint8_t errorNibble = 0;                          // error code of every register reply
    int64_t muteFromUs = kSimNever;                   // requests from then on get no reply
    int64_t unplugFromUs = kSimNever;                 // reads and writes fail from then on
    uint64_t seed = 1;                                // of the motion's noise
    int noise = 1;                                    // noise amplitude in counts, 0 for none
    size_t backlog = 64;                              // reports kept for a slow reader
    std::optional<int64_t> delayUs;                   // a 0x12 to the next data report
    int64_t extensionFromUs = kSimNever;              // a Nunchuk is plugged in from then
    int64_t extensionUntilUs = kSimNever;             // and pulled out then
    bool kernelDriver = false;                        // Linux's hid-wiimote talks beside us
    std::string replayPath;                           // a recording to play back instead
    std::shared_ptr<const SimReplay> replay;          // its reports, loaded by the parse
};

// Parses text into scenario, starting from the defaults above. Returns false on an
// unknown key, a key given twice or a malformed value, with error set to one line
// that names the key; with `replay`, also when the recording cannot be loaded, with
// the line naming the file and the faulty line.
bool ParseSimScenario(std::string_view text, SimScenario& scenario, std::string& error);

#endif
