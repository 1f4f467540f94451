#include "fake_hid_device.h"

#include "remote_reports.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <set>

struct HidDevice {
    uint16_t productId; // which remote this is
    int callsInside;    // reads and writes now inside; fake lock
};

namespace {

constexpr auto kLongestHold = std::chrono::seconds(10); // a held write gives up after this

struct FakeState {
    std::mutex lock;                // guards everything here and every HidDevice
    std::condition_variable change; // a read was queued or writes were released
    std::vector<uint16_t> present;
    std::deque<FakeRead> reads;
    int writeResult = 0; // 0: the length given
    bool holdWrites = false;
    int readsEntered = 0;
    int writesEntered = 0;
    int waitCostPercent = 100;       // of a read's wait, on the device's clock
    int64_t clockUs = 0;             // the device's clock: the waits of reads that found nothing
    std::set<const HidDevice*> live; // opened and not yet closed
    FakeRecord record;
};

FakeState& Fake() {
    static FakeState state;
    return state;
}

// Counts a call entering device; called with the fake lock held.
void Enter(FakeState& fake, HidDevice* device, int& entered) {
    ++entered;
    if (fake.live.count(device) == 0) {
        ++fake.record.callsOnClosedDevice;
        return;
    }
    ++device->callsInside;
}

// Counts a call leaving device; called with the fake lock held.
void Leave(FakeState& fake, HidDevice* device) {
    if (fake.live.count(device) != 0) {
        --device->callsInside;
    }
}

HidDevice* OpenFake(uint16_t vendorId, uint16_t productId) {
    FakeState& fake = Fake();
    std::lock_guard<std::mutex> hold(fake.lock);
    fake.record.openAttempts.push_back({vendorId, productId});
    const bool present = vendorId == kWiiRemoteVendor &&
                         std::count(fake.present.begin(), fake.present.end(), productId) != 0;
    if (!present) {
        return nullptr;
    }
    HidDevice* device = new HidDevice{productId, 0};
    fake.live.insert(device);
    fake.record.openedProducts.push_back(productId);
    return device;
}

int ReadFake(HidDevice* device, uint8_t* data, size_t length, int timeoutMs) {
    FakeState& fake = Fake();
    std::unique_lock<std::mutex> hold(fake.lock);
    Enter(fake, device, fake.readsEntered);
    fake.record.readLengths.push_back(length);
    fake.record.readTimeouts.push_back(timeoutMs);
    fake.change.wait_for(hold, std::chrono::milliseconds(timeoutMs),
                         [&fake] { return !fake.reads.empty(); });
    int result = 0;
    if (!fake.reads.empty()) {
        const FakeRead read = std::move(fake.reads.front());
        fake.reads.pop_front();
        std::copy_n(read.bytes.begin(), std::min(read.bytes.size(), length), data);
        result = read.result;
    }
    if (result == 0) {
        fake.clockUs += int64_t{timeoutMs} * 10 * fake.waitCostPercent;
    }
    Leave(fake, device);
    return result;
}

int WriteFake(HidDevice* device, const uint8_t* data, size_t length) {
    FakeState& fake = Fake();
    std::unique_lock<std::mutex> hold(fake.lock);
    Enter(fake, device, fake.writesEntered);
    fake.record.writes.emplace_back(data, data + length);
    fake.change.wait_for(hold, kLongestHold, [&fake] { return !fake.holdWrites; });
    Leave(fake, device);
    return fake.writeResult != 0 ? fake.writeResult : static_cast<int>(length);
}

void CloseFake(HidDevice* device) {
    FakeState& fake = Fake();
    std::lock_guard<std::mutex> hold(fake.lock);
    ++fake.record.closes;
    if (device->callsInside != 0) {
        ++fake.record.closesWithCallInside;
    }
    fake.live.erase(device);
    delete device;
}

std::vector<uint8_t> FakeDescriptor(HidDevice*) {
    return kFakeReportDescriptor;
}

int64_t FakeClock() {
    FakeState& fake = Fake();
    std::lock_guard<std::mutex> hold(fake.lock);
    return fake.clockUs;
}

} // namespace

const Bytes kFakeReportDescriptor = {0x05, 0x01, 0x09, 0x05, 0xA1, 0x01, 0xC0};

const HidDeviceCalls kFakeDevice = {
    .open = OpenFake,
    .read = ReadFake,
    .write = WriteFake,
    .close = CloseFake,
    .reportDescriptor = FakeDescriptor,
    .clockUs = FakeClock,
};

void FakeReset(std::vector<uint16_t> presentProducts) {
    FakeState& fake = Fake();
    std::lock_guard<std::mutex> hold(fake.lock);
    fake.present = std::move(presentProducts);
    fake.reads.clear();
    fake.writeResult = 0;
    fake.holdWrites = false;
    fake.readsEntered = 0;
    fake.writesEntered = 0;
    fake.waitCostPercent = 100;
    fake.record = {};
}

void FakeSetWaitCost(int percent) {
    FakeState& fake = Fake();
    std::lock_guard<std::mutex> hold(fake.lock);
    fake.waitCostPercent = percent;
}

void FakeQueueReads(std::vector<FakeRead> reads) {
    FakeState& fake = Fake();
    std::lock_guard<std::mutex> hold(fake.lock);
    fake.reads.insert(fake.reads.end(), reads.begin(), reads.end());
    fake.change.notify_all();
}

void FakeSetWriteResult(int result) {
    std::lock_guard<std::mutex> hold(Fake().lock);
    Fake().writeResult = result;
}

void FakeHoldWrites() {
    std::lock_guard<std::mutex> hold(Fake().lock);
    Fake().holdWrites = true;
}

void FakeReleaseWrites() {
    FakeState& fake = Fake();
    std::lock_guard<std::mutex> hold(fake.lock);
    fake.holdWrites = false;
    fake.change.notify_all();
}

int FakeReadsEntered() {
    std::lock_guard<std::mutex> hold(Fake().lock);
    return Fake().readsEntered;
}

int FakeWritesEntered() {
    std::lock_guard<std::mutex> hold(Fake().lock);
    return Fake().writesEntered;
}

FakeRecord FakeSeen() {
    std::lock_guard<std::mutex> hold(Fake().lock);
    return Fake().record;
}
