#include "scripted_hid.h"

#include <chrono>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>

#include "device_state.h"
#include "device_state_reset.h"
#include "hid_report_library.h"
#include "remote_protocol.h"

namespace {

constexpr HidHandle kScriptedHandle = 7;

struct ScriptedHid {
    std::mutex lock;
    bool present = true;
    bool open = false;
    std::deque<ScriptedRead> reads;
    int32_t whenEmpty = 0;
    std::function<void(int)> onRead;
    std::vector<Bytes> writes;
    std::vector<std::chrono::steady_clock::time_point> writeTimes;
    int readCount = 0;
    int closeCount = 0;
    int misuseCount = 0;
};

ScriptedHid& Hid() {
    static ScriptedHid hid;
    return hid;
}

// Called with the lock held.
bool IsOpenHandle(ScriptedHid& hid, HidHandle handle) {
    if (hid.open && handle == kScriptedHandle) {
        return true;
    }
    ++hid.misuseCount;
    return false;
}

} // namespace

ScriptedRead Report(Bytes bytes) {
    return {static_cast<int32_t>(bytes.size()), std::move(bytes)};
}
ScriptedRead NoReport() { return {0, {}}; }
ScriptedRead FailedRead() { return {-1, {}}; }

void ScriptedHidReset() {
    ScriptedHid& hid = Hid();
    std::lock_guard<std::mutex> hold(hid.lock);
    hid.present = true;
    hid.open = false;
    hid.reads.clear();
    hid.whenEmpty = 0;
    hid.onRead = nullptr;
    hid.writes.clear();
    hid.writeTimes.clear();
    hid.readCount = hid.closeCount = hid.misuseCount = 0;
}

void OpenScriptedRemote() {
    ResetDeviceState();
    ScriptedHidReset();
    deviceState.hidHandle = OpenHidHandle(kWiiRemoteVendor, kWiiRemoteProduct);
}

void ScriptedHidSetPresent(bool present) {
    std::lock_guard<std::mutex> hold(Hid().lock);
    Hid().present = present;
}

void ScriptedHidQueue(std::vector<ScriptedRead> reads) {
    std::lock_guard<std::mutex> hold(Hid().lock);
    for (ScriptedRead& read : reads) {
        Hid().reads.push_back(std::move(read));
    }
}

void ScriptedHidWhenEmpty(int32_t result) {
    std::lock_guard<std::mutex> hold(Hid().lock);
    Hid().whenEmpty = result;
}

void ScriptedHidOnRead(std::function<void(int)> hook) {
    std::lock_guard<std::mutex> hold(Hid().lock);
    Hid().onRead = std::move(hook);
}

std::vector<Bytes> ScriptedHidWrites() {
    std::lock_guard<std::mutex> hold(Hid().lock);
    return Hid().writes;
}

std::vector<std::chrono::steady_clock::time_point> ScriptedHidWriteTimes() {
    std::lock_guard<std::mutex> hold(Hid().lock);
    return Hid().writeTimes;
}

int ScriptedHidReadCount() {
    std::lock_guard<std::mutex> hold(Hid().lock);
    return Hid().readCount;
}

int ScriptedHidCloseCount() {
    std::lock_guard<std::mutex> hold(Hid().lock);
    return Hid().closeCount;
}

int ScriptedHidMisuseCount() {
    std::lock_guard<std::mutex> hold(Hid().lock);
    return Hid().misuseCount;
}

extern "C" HidHandle OpenHidHandle(uint16_t, uint16_t) {
    ScriptedHid& hid = Hid();
    std::lock_guard<std::mutex> hold(hid.lock);
    if (!hid.present) {
        return HID_NO_DEVICE;
    }
    hid.open = true;
    return kScriptedHandle;
}

extern "C" int32_t ReadReport(HidHandle handle, uint8_t* buffer, uint32_t* outWord) {
    ScriptedHid& hid = Hid();
    std::function<void(int)> hook;
    int number;
    {
        std::lock_guard<std::mutex> hold(hid.lock);
        if (!IsOpenHandle(hid, handle)) {
            return -1;
        }
        number = ++hid.readCount;
        hook = hid.onRead;
    }
    if (hook) {
        hook(number);
    }
    std::lock_guard<std::mutex> hold(hid.lock);
    if (hid.reads.empty()) {
        if (hid.whenEmpty < 0) {
            return hid.whenEmpty;
        }
        // Nothing scripted: behave like a silent device after a short bounded wait.
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return 0;
    }
    ScriptedRead read = std::move(hid.reads.front());
    hid.reads.pop_front();
    if (read.result > 0) {
        std::memcpy(buffer, read.report.data(), read.report.size());
        *outWord = static_cast<uint32_t>(read.report.size());
    }
    return read.result;
}

extern "C" int32_t WriteReport(HidHandle handle, uint8_t* buffer, uint32_t* outWord) {
    ScriptedHid& hid = Hid();
    std::lock_guard<std::mutex> hold(hid.lock);
    if (!IsOpenHandle(hid, handle)) {
        return -1;
    }
    const size_t length = OutputReportLength(buffer[0]);
    hid.writes.emplace_back(buffer, buffer + length);
    hid.writeTimes.push_back(std::chrono::steady_clock::now());
    *outWord = static_cast<uint32_t>(length);
    return static_cast<int32_t>(length);
}

extern "C" void CloseHidHandle(HidHandle handle) {
    ScriptedHid& hid = Hid();
    std::lock_guard<std::mutex> hold(hid.lock);
    if (IsOpenHandle(hid, handle)) {
        hid.open = false;
        ++hid.closeCount;
    }
}
