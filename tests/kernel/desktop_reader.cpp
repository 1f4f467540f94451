// A desktop program beside the kernel's Wii Remote driver, as a game or a gesture
// tool is: it reads the input devices that hid-wiimote made for the remote, given by
// name ("Nintendo Wii Remote Accelerometer", "Nintendo Wii Remote Nunchuk"), and
// opening them makes the driver switch the remote to a mode that feeds them. It
// reads until SIGTERM or SIGINT, following a device that the driver removes (a
// Nunchuk pulled out) and makes again.
//
// It prints "open <index> <name>" when a device is opened, "gone <index>" when it
// goes, and "<index> <RX> <RY> <RZ>" for every frame of events (up to SYN_REPORT)
// that moved an axis, the rotational axes being where the driver puts the
// accelerations. Each line is flushed at once, so a test counts frames by lines.
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
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

volatile sig_atomic_t stopAsked = 0;

void AskStop(int) {
    stopAsked = 1;
}

struct Device {
    std::string name;
    int fd = -1;
    bool moved = false;              // an axis moved since the last frame
    std::array<int, ABS_CNT> axes{}; // the last value of each axis
};

// Opens the event device called name, or returns -1. The name is read from sysfs so
// that no other device is opened on the way: opening the remote's IR device, even
// for a moment, makes the driver start the IR camera.
int OpenByName(const std::string& name) {
    for (int index = 0; index < 64; ++index) {
        const std::string node = "event" + std::to_string(index);
        std::string found;
        std::getline(std::ifstream("/sys/class/input/" + node + "/device/name"), found);
        if (found == name) {
            return open(("/dev/input/" + node).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        }
    }
    return -1;
}

// Opens the device if it is not open; says so when it opened.
void Find(Device& device, size_t index) {
    if (device.fd < 0 && (device.fd = OpenByName(device.name)) >= 0) {
        std::printf("open %zu %s\n", index, device.name.c_str());
        std::fflush(stdout);
    }
}

// Reads what the device has waiting, a line for each frame that moved an axis;
// closes it when it has gone.
void Read(Device& device, size_t index, short events) {
    if (events & (POLLERR | POLLHUP | POLLNVAL)) {
        close(device.fd);
        device.fd = -1;
        std::printf("gone %zu\n", index);
    }
    input_event event{};
    while (device.fd >= 0 && read(device.fd, &event, sizeof(event)) == static_cast<ssize_t>(sizeof(event))) {
        if (event.type == EV_ABS && event.code < ABS_CNT) {
            device.axes[event.code] = event.value;
            device.moved = true;
        } else if (event.type == EV_SYN && event.code == SYN_REPORT && device.moved) {
            device.moved = false;
            std::printf("%zu %d %d %d\n", index, device.axes[ABS_RX], device.axes[ABS_RY],
                        device.axes[ABS_RZ]);
        }
    }
    std::fflush(stdout);
}

// Whether every device is open, waiting up to seconds for the driver to make them.
bool OpenAll(std::vector<Device>& devices, int seconds) {
    const auto giveUpAt = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    for (;;) {
        bool all = true;
        for (size_t index = 0; index < devices.size(); ++index) {
            Find(devices[index], index);
            all = all && devices[index].fd >= 0;
        }
        if (all || stopAsked || std::chrono::steady_clock::now() > giveUpAt) {
            return all;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
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
        std::fprintf(stderr, "desktop_reader: not every device was there\n");
        return 1;
    }
    while (!stopAsked) {
        std::vector<pollfd> watched;
        for (const Device& device : devices) {
            watched.push_back({device.fd, POLLIN, 0}); // poll passes over a negative fd
        }
        poll(watched.data(), watched.size(), 200);
        for (size_t index = 0; index < devices.size(); ++index) {
            Find(devices[index], index);
            Read(devices[index], index, watched[index].revents);
        }
    }
    return 0;
}
