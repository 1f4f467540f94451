// tobrisk-uhid-remote: the simulated remote as a kernel HID device. It creates a
// Bluetooth HID device through /dev/uhid with the Wii Remote's IDs, name and report
// descriptor, so that the kernel's HID core, its drivers (hid-wiimote or
// hid-generic) and hidraw take it for a paired remote. The remote behind it is the
// simulated remote itself (sim/), driven through the HID report library's
// operations: every output report the kernel delivers goes to the model, and every
// report the model sends goes to the kernel as input.
//
//   tobrisk-uhid-remote [--later-model]
//
// TINY_HID_SIM gives the scenario and TINY_HID_SIM_LOG the log, as for the
// simulated remote in process; `driver` is refused (the kernel's own driver is
// there) and so is a `period` below 10 ms (the remote sends at most every 10 ms).
// SIGTERM or SIGINT destroys the device and ends the program with code 0; the
// scenario's `unplug` destroys it at that moment and ends the program the same way.
// For tests that act on events rather than at fixed moments, SIGUSR1 presses Home
// now (as `home` does at its moment), SIGUSR2 unplugs the remote now and SIGRTMIN
// plugs a Nunchuk in or pulls it out now (as `extension` does at its moments).
//
// Threads: the main thread answers the kernel's events; the input thread reads the
// model and writes input reports. Both write whole events to the uhid file, which
// takes each write as one event.
#include <fcntl.h>
#include <linux/uhid.h>
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <thread>

#include "hid_report_library.h"
#include "remote_descriptor.h"
#include "remote_protocol.h"
#include "sim_control.h"
#include "sim_scenario.h"

namespace {

constexpr int64_t kShortestPeriodUs = 10000; // a real remote's fastest data reports

// The device as the kernel sees it.
struct RemoteIdentity {
    uint16_t productId;
    const char* name; // hid-wiimote tells the models apart by it
};

constexpr RemoteIdentity kOriginalRemote = {kRemoteProductId, kRemoteName};
constexpr RemoteIdentity kLaterRemote = {kRemotePlusProductId, kRemotePlusName};

std::atomic<bool> modelGone{false}; // the model failed a read: the remote is unplugged
std::atomic<bool> stopInput{false}; // the main thread is ending: read no more

// Writes one whole event to the uhid file.
bool SendEvent(int uhid, const uhid_event& event) {
    const ssize_t written = write(uhid, &event, sizeof(event));
    return written == static_cast<ssize_t>(sizeof(event));
}

// UHID_CREATE2 for the remote.
bool CreateDevice(int uhid, const RemoteIdentity& identity) {
    uhid_event event{};
    event.type = UHID_CREATE2;
    uhid_create2_req& create = event.u.create2;
    std::snprintf(reinterpret_cast<char*>(create.name), sizeof(create.name), "%s", identity.name);
    std::snprintf(reinterpret_cast<char*>(create.phys), sizeof(create.phys), "tobrisk-uhid-remote");
    std::snprintf(reinterpret_cast<char*>(create.uniq), sizeof(create.uniq), "00:19:1d:54:42:01");
    const std::vector<uint8_t> descriptor = RemoteReportDescriptor();
    create.rd_size = static_cast<uint16_t>(descriptor.size());
    std::memcpy(create.rd_data, descriptor.data(), descriptor.size());
    create.bus = BUS_BLUETOOTH;
    create.vendor = kRemoteVendorId;
    create.product = identity.productId;
    return SendEvent(uhid, event);
}

// UHID_DESTROY: the kernel removes the device, as when a remote disconnects.
void DestroyDevice(int uhid) {
    uhid_event event{};
    event.type = UHID_DESTROY;
    SendEvent(uhid, event);
}

// The input thread: every report the model sends becomes an input report, until
// the main thread stops it (within one read's wait) or the model is unplugged.
void ForwardInputReports(int uhid, HidHandle handle, int wakeMain) {
    uint8_t report[HID_REPORT_BUFFER_SIZE];
    while (!stopInput) {
        const int32_t length = ReadReport(handle, report, nullptr);
        if (length < 0) {
            modelGone = true;
            break;
        }
        if (length == 0) {
            continue;
        }
        uhid_event event{};
        event.type = UHID_INPUT2;
        event.u.input2.size = static_cast<uint16_t>(length);
        std::memcpy(event.u.input2.data, report, static_cast<size_t>(length));
        SendEvent(uhid, event);
    }
    const char wake = 1;
    [[maybe_unused]] const ssize_t ignored = write(wakeMain, &wake, 1);
}

// Answers one event of the kernel; output reports go to the model.
void TakeKernelEvent(int uhid, HidHandle handle, const uhid_event& event) {
    uhid_event reply{};
    switch (event.type) {
    case UHID_OUTPUT:
        if (event.u.output.rtype == UHID_OUTPUT_REPORT && event.u.output.size > 0) {
            SimWriteReportOfLength(handle, event.u.output.data, event.u.output.size);
        }
        break;
    case UHID_GET_REPORT: // a Bluetooth remote has no reports to get or set
        reply.type = UHID_GET_REPORT_REPLY;
        reply.u.get_report_reply.id = event.u.get_report.id;
        reply.u.get_report_reply.err = EIO;
        SendEvent(uhid, reply);
        break;
    case UHID_SET_REPORT:
        reply.type = UHID_SET_REPORT_REPLY;
        reply.u.set_report_reply.id = event.u.set_report.id;
        reply.u.set_report_reply.err = EIO;
        SendEvent(uhid, reply);
        break;
    default: // start, stop, open, close: nothing to do
        break;
    }
}

// Why the scenario cannot run over uhid, or "" when it can.
std::string ScenarioProblem() {
    const char* text = std::getenv("TINY_HID_SIM");
    SimScenario scenario;
    std::string error;
    if (!ParseSimScenario(text ? text : "", scenario, error)) {
        return error;
    }
    if (scenario.kernelDriver) {
        return "tobrisk-uhid-remote: 'driver' does not apply: the kernel's own driver is there";
    }
    if (scenario.periodUs < kShortestPeriodUs) {
        return "tobrisk-uhid-remote: 'period' below 10 ms: a remote sends at most every 10 ms";
    }
    return "";
}

// Acts on the signal waiting in signals: SIGUSR1 presses Home, SIGUSR2 unplugs the
// remote, SIGRTMIN plugs or pulls the Nunchuk. Returns false for SIGTERM and SIGINT,
// which end the program.
bool TakeSignal(int signals) {
    signalfd_siginfo info{};
    if (read(signals, &info, sizeof(info)) != static_cast<ssize_t>(sizeof(info))) {
        return true;
    }
    switch (info.ssi_signo) {
    case SIGUSR1:
        SimPressHome();
        return true;
    case SIGUSR2:
        SimUnplug();
        return true;
    default:
        if (static_cast<int>(info.ssi_signo) == SIGRTMIN) {
            SimPlugOrPullExtension();
            return true;
        }
        return false;
    }
}

// Waits for the kernel's events, a signal or the model's end; returns the exit code.
int Serve(int uhid, HidHandle handle, int signals, int modelEnded) {
    pollfd watched[] = {{uhid, POLLIN, 0}, {signals, POLLIN, 0}, {modelEnded, POLLIN, 0}};
    for (;;) {
        if (poll(watched, 3, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            std::perror("tobrisk-uhid-remote: poll");
            return 1;
        }
        if (watched[1].revents != 0 && !TakeSignal(signals)) {
            return 0;
        }
        if (watched[2].revents != 0) {
            return 0;
        }
        if ((watched[0].revents & (POLLERR | POLLHUP)) != 0) {
            std::fprintf(stderr, "tobrisk-uhid-remote: /dev/uhid failed\n");
            return 1;
        }
        uhid_event event{};
        if (read(uhid, &event, sizeof(event)) > 0) {
            TakeKernelEvent(uhid, handle, event);
        }
    }
}

// Blocks the signals the program takes in every thread and returns a descriptor that
// reads them.
int TakeSignals() {
    sigset_t set;
    sigemptyset(&set);
    for (int taken : {SIGTERM, SIGINT, SIGUSR1, SIGUSR2, SIGRTMIN}) {
        sigaddset(&set, taken);
    }
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    return signalfd(-1, &set, SFD_CLOEXEC);
}

int Usage() {
    std::fprintf(stderr, "usage: tobrisk-uhid-remote [--later-model]\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    const RemoteIdentity* identity = &kOriginalRemote;
    for (int i = 1; i < argc; ++i) {
        if (std::string_view(argv[i]) == "--later-model") {
            identity = &kLaterRemote;
        } else {
            return Usage();
        }
    }
    if (const std::string problem = ScenarioProblem(); !problem.empty()) {
        std::fprintf(stderr, "%s\n", problem.c_str());
        return 2;
    }
    const int signals = TakeSignals();
    int modelEnded[2];
    if (signals < 0 || pipe2(modelEnded, O_CLOEXEC) != 0) {
        std::perror("tobrisk-uhid-remote: signals");
        return 1;
    }
    const int uhid = open("/dev/uhid", O_RDWR | O_CLOEXEC);
    if (uhid < 0) {
        std::perror("tobrisk-uhid-remote: /dev/uhid");
        return 1;
    }
    const HidHandle handle = OpenHidHandle(kRemoteVendorId, identity->productId);
    if (handle == HID_NO_DEVICE) {
        std::fprintf(stderr, "tobrisk-uhid-remote: the scenario has no remote to present\n");
        return 1;
    }
    if (!CreateDevice(uhid, *identity)) {
        std::perror("tobrisk-uhid-remote: UHID_CREATE2");
        return 1;
    }
    std::printf("tobrisk-uhid-remote: created \"%s\"\n", identity->name);
    std::fflush(stdout);

    std::thread input(ForwardInputReports, uhid, handle, modelEnded[1]);
    const int status = Serve(uhid, handle, signals, modelEnded[0]);
    stopInput = true;
    input.join();
    const bool unplugged = modelGone;
    DestroyDevice(uhid);
    CloseHidHandle(handle);
    std::printf("tobrisk-uhid-remote: destroyed%s\n", unplugged ? " (unplugged)" : "");
    close(uhid);
    return status;
}
