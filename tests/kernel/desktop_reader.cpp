// A desktop program beside the kernel's Wii Remote driver, as a game or a
// gesture tool is: it opens the input devices that hid-wiimote made for the remote
// (given by name: "Nintendo Wii Remote Accelerometer", "Nintendo Wii Remote
// Nunchuk"), which makes the driver switch the remote to a mode that feeds them,
// and reads them until SIGTERM or SIGINT.
//
// It prints "open <index> <name>" for each device once it is open ("gone <index>"
// when the driver removes it, and "open" again when it comes back), then one line
// for every frame of events (up to SYN_REPORT) that moved an axis:
// "<index> <RX> <RY> <RZ>", the device's index among the names given and its three
// rotational axes, where the driver puts the accelerations. Each line is flushed at
// once, so a test counts frames by lines while the reader runs.
//
// Usage: desktop_reader SECONDS NAME...   (SECONDS: how long to wait for the devices)
#include <fcntl.h>
#include <linux/input.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

volatile sig_atomic_t stopAsked = 0;

void AskStop(int) {
    stopAsked = 1;
}

// One input device being read.
struct Device {
    std::string name;
    int fd = -1;
    bool moved = false;                       // an axis moved since the last frame
    std::array<int, ABS_CNT> axes{};          // the last value of each axis
};

// The contents of a small text file without its line end, or "".
std::string ReadLine(const std::string& path) {
    char text[256] = {};
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return "";
    }
    const ssize_t got = read(fd, text, sizeof(text) - 1);
    close(fd);
    std::string line(text, got > 0 ? static_cast<size_t>(got) : 0);
    return line.substr(0, line.find('\n'));
}

// Opens the event device called name, or returns -1 when there is none. The name
// is read from sysfs, so that no other device is opened on the way: opening the
// remote's IR device, even for a moment, makes the driver start the IR camera.
int OpenByName(const std::string& name) {
    for (int index = 0; index < 64; ++index) {
        const std::string node = "event" + std::to_string(index);
        if (ReadLine("/sys/class/input/" + node + "/device/name") == name) {
            return open(("/dev/input/" + node).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        }
    }
    return -1;
}

// Opens every device, waiting for those the driver has not made yet; false when
// one is still missing after the wait.
bool OpenAll(std::vector<Device>& devices, int waitSeconds) {
    const auto giveUpAt = std::chrono::steady_clock::now() + std::chrono::seconds(waitSeconds);
    for (size_t index = 0; index < devices.size(); ++index) {
        Device& device = devices[index];
        while ((device.fd = OpenByName(device.name)) < 0) {
            if (stopAsked || std::chrono::steady_clock::now() > giveUpAt) {
                std::fprintf(stderr, "desktop_reader: no input device '%s'\n", device.name.c_str());
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        std::printf("open %zu %s\n", index, device.name.c_str());
        std::fflush(stdout);
    }
    return true;
}

// Reads what device has waiting; prints a line for each frame that moved an axis.
void ReadEvents(Device& device, size_t index) {
    input_event event{};
    while (read(device.fd, &event, sizeof(event)) == static_cast<ssize_t>(sizeof(event))) {
        if (event.type == EV_ABS && event.code < ABS_CNT) {
            device.axes[event.code] = event.value;
            device.moved = true;
        } else if (event.type == EV_SYN && event.code == SYN_REPORT && device.moved) {
            device.moved = false;
            std::printf("%zu %d %d %d\n", index, device.axes[ABS_RX], device.axes[ABS_RY],
                        device.axes[ABS_RZ]);
            std::fflush(stdout);
        }
    }
}

// Closes a device that has gone (the driver removes the Nunchuk's when it is pulled
// out) and says so; the reader goes on with the others.
void Lose(Device& device, size_t index) {
    close(device.fd);
    device.fd = -1;
    std::printf("gone %zu\n", index);
    std::fflush(stdout);
}

// Opens again a device that has come back, as a desktop program that follows
// hot-plugging does.
void FindAgain(Device& device, size_t index) {
    device.fd = OpenByName(device.name);
    if (device.fd >= 0) {
        std::printf("open %zu %s\n", index, device.name.c_str());
        std::fflush(stdout);
    }
}

// Reads every device until asked to stop.
void ReadAll(std::vector<Device>& devices) {
    while (!stopAsked) {
        std::vector<pollfd> watched;
        for (Device& device : devices) {
            watched.push_back({device.fd, POLLIN, 0}); // a negative fd is passed over
        }
        if (poll(watched.data(), watched.size(), 200) < 0) {
            continue;
        }
        for (size_t index = 0; index < devices.size(); ++index) {
            Device& device = devices[index];
            if (device.fd < 0) {
                FindAgain(device, index);
            } else if (watched[index].revents & (POLLERR | POLLHUP | POLLNVAL)) {
                Lose(device, index);
            } else if (watched[index].revents & POLLIN) {
                ReadEvents(device, index);
            }
        }
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: desktop_reader SECONDS NAME...\n");
        return 2;
    }
    signal(SIGTERM, AskStop);
    signal(SIGINT, AskStop);
    std::vector<Device> devices;
    for (int arg = 2; arg < argc; ++arg) {
        devices.push_back(Device{argv[arg]});
    }
    if (!OpenAll(devices, std::atoi(argv[1]))) {
        return 1;
    }
    ReadAll(devices);
    return 0;
}
