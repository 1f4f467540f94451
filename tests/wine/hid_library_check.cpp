// Checks the real tiny_hid_dll.dll (the Windows HID backend under the handle table)
// under Wine, whose HID bus offers two virtual devices with input reports and no
// output reports: a keyboard (845E:0002) and a mouse (845E:0001). Nothing types on
// them, so every read runs into its time limit and has its I/O cancelled. What is
// checked: finding devices by vendor and product through setupapi and
// HidD_GetAttributes, bounded reads that leave the buffer alone, writes refused by a
// device without output reports, a close that wakes a read in progress, and calls
// on closed handles; and, as a program that looks the four operations up by name
// finds them, their plain names and (in the 32-bit build, where a function may
// pop its own arguments) the C calling convention. Prints each failure; the exit
// code is the number of failures.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include <windows.h>

#include "hid_report_library.h"
#include "remote_reports.h"
#include "windows_check.h"

namespace {

constexpr uint16_t kWineVendorId = 0x845E;
constexpr uint16_t kWineMouseId = 0x0001;
constexpr uint16_t kWineKeyboardId = 0x0002;
constexpr uint8_t kUntouched = 0xA5; // fills buffers that a call must leave alone
constexpr uint32_t kUntouchedWord = 0xC0FFEEu;
constexpr long kReadLimitMs = 1000;      // generous: a read waits about 100 ms
constexpr long kCloseWakeLimitMs = 1000; // a read must see the close within this
constexpr long kDevicesLimitMs = 10000;  // Wine's bus driver starts within this

// Whether all HID_REPORT_BUFFER_SIZE bytes of buffer still hold kUntouched.
bool Untouched(const uint8_t* buffer) {
    for (int i = 0; i < HID_REPORT_BUFFER_SIZE; ++i) {
        if (buffer[i] != kUntouched) {
            return false;
        }
    }
    return true;
}

// Waits up to kDevicesLimitMs for Wine's bus driver, which starts with the first
// program of a fresh Wine session, to offer both virtual devices.
void WaitForWineDevices() {
    const auto start = CheckClock::now();
    bool bothThere = false;
    while (!bothThere && MsSince(start) < kDevicesLimitMs) {
        const HidHandle mouse = OpenHidHandle(kWineVendorId, kWineMouseId);
        const HidHandle keyboard = OpenHidHandle(kWineVendorId, kWineKeyboardId);
        bothThere = mouse != HID_NO_DEVICE && keyboard != HID_NO_DEVICE;
        CloseHidHandle(mouse);
        CloseHidHandle(keyboard);
        if (!bothThere) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    }
    Check(bothThere, "Wine's virtual devices appear in time (ms)", kDevicesLimitMs, MsSince(start));
}

// Only the IDs asked for are opened: no remote of either model, no unknown device.
void FindsOnlyWhatIsThere() {
    struct Case {
        const char* what;
        uint16_t vendorId, productId;
        bool present;
    };
    const Case cases[] = {
        {"the original remote is absent", kWiiRemoteVendor, kWiiRemoteProduct, false},
        {"the later remote is absent", kWiiRemoteVendor, kWiiRemotePlusProduct, false},
        {"an unknown product of a known vendor", kWineVendorId, 0x7777, false},
        {"Wine's virtual mouse", kWineVendorId, kWineMouseId, true},
        {"Wine's virtual keyboard", kWineVendorId, kWineKeyboardId, true},
    };
    for (const Case& c : cases) {
        const HidHandle handle = OpenHidHandle(c.vendorId, c.productId);
        Check((handle != HID_NO_DEVICE) == c.present, c.what, c.present, handle != HID_NO_DEVICE);
        CloseHidHandle(handle);
    }
}

// With no input, each read waits its bounded time, returns 0 and leaves the buffer
// and out-word alone; over and over, so every cancelled read has landed.
void ReadsWithoutInputTimeOut(HidHandle handle) {
    for (int i = 0; i < 20; ++i) {
        uint8_t buffer[HID_REPORT_BUFFER_SIZE];
        std::memset(buffer, kUntouched, sizeof(buffer));
        uint32_t outWord = kUntouchedWord;
        const auto start = CheckClock::now();
        const int32_t got = ReadReport(handle, buffer, &outWord);
        const long took = MsSince(start);
        Check(got == 0, "a read without input returns 0", 0, got);
        Check(took < kReadLimitMs, "a read without input ends in time (ms)", kReadLimitMs, took);
        Check(Untouched(buffer), "a read without input leaves the buffer", 1, 0);
        Check(outWord == kUntouchedWord, "a read without input leaves the out-word", 1, 0);
    }
}

// Every output report is refused by a device that takes none.
void WritesToADeviceWithoutOutputReportsFail(HidHandle handle) {
    for (uint8_t reportId : {0x11, 0x12, 0x17, 0x42}) {
        uint8_t buffer[HID_REPORT_BUFFER_SIZE] = {reportId, 0x10};
        uint32_t outWord = kUntouchedWord;
        Check(WriteReport(handle, buffer, &outWord) == -1, "a write without output reports", -1,
              reportId);
        Check(outWord == kUntouchedWord, "a refused write leaves the out-word", 1, 0);
    }
}

// A close on one thread ends a read loop on another within one read, and returns.
void CloseWakesAReadInProgress(HidHandle handle) {
    std::atomic<bool> started{false};
    std::atomic<int32_t> last{0};
    std::thread reader([&] {
        uint8_t buffer[HID_REPORT_BUFFER_SIZE];
        started = true;
        int32_t got = 0;
        while (got == 0) {
            got = ReadReport(handle, buffer, nullptr);
        }
        last = got;
    });
    while (!started) {
        std::this_thread::yield();
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const auto start = CheckClock::now();
    CloseHidHandle(handle);
    const long closeTook = MsSince(start);
    reader.join();
    const long readerTook = MsSince(start);
    Check(closeTook < kCloseWakeLimitMs, "the close returns in time (ms)", kCloseWakeLimitMs,
          closeTook);
    Check(readerTook < kCloseWakeLimitMs, "the reader sees the close in time (ms)",
          kCloseWakeLimitMs, readerTook);
    Check(last == -1, "the read in progress ends with -1", -1, last);
}

// Calls on a closed handle fail and touch nothing; a second close is harmless.
void ClosedHandlesDoNothing(HidHandle handle) {
    uint8_t buffer[HID_REPORT_BUFFER_SIZE];
    std::memset(buffer, kUntouched, sizeof(buffer));
    uint32_t outWord = kUntouchedWord;
    Check(ReadReport(handle, buffer, &outWord) == -1, "a read on a closed handle", -1, 0);
    Check(Untouched(buffer), "a read on a closed handle leaves the buffer", 1, 0);
    buffer[0] = 0x11;
    Check(WriteReport(handle, buffer, &outWord) == -1, "a write on a closed handle", -1, 0);
    Check(outWord == kUntouchedWord, "calls on a closed handle leave the out-word", 1, 0);
    CloseHidHandle(handle);
}

#if defined(__i386__)
// Calls fn with the three 32-bit words of args pushed as C pushes them and returns
// how many bytes of them are still on the stack when it returns: all 12 for a C
// (cdecl) function, which leaves them to its caller, fewer for one that pops them
// itself, as a stdcall function does. The stack is 16-byte aligned at the call, as
// the compiler's own calls keep it (code built for that may use aligned SSE moves).
long ArgumentBytesLeftByCall(uintptr_t fn, const uint32_t* args) {
    long left;
    asm volatile("movl %%esp, %%edi\n\t"
                 "andl $-16, %%esp\n\t"
                 "subl $4, %%esp\n\t"
                 "pushl 8(%[args])\n\t"
                 "pushl 4(%[args])\n\t"
                 "pushl (%[args])\n\t"
                 "call *%[fn]\n\t"
                 "movl %%edi, %%ecx\n\t"
                 "andl $-16, %%ecx\n\t"
                 "subl $4, %%ecx\n\t"
                 "subl %%esp, %%ecx\n\t"
                 "movl %%edi, %%esp"
                 : "=c"(left)
                 : [fn] "S"(fn), [args] "b"(args)
                 : "eax", "edx", "edi", "memory", "cc");
    return left;
}

// Two functions whose conventions are known, to prove the measure above.
extern "C" __attribute__((stdcall, noinline)) int32_t PopsItsTwoWords(uint32_t a, uint32_t b) {
    return static_cast<int32_t>(a + b);
}
extern "C" __attribute__((cdecl, noinline)) int32_t LeavesItsTwoWords(uint32_t a, uint32_t b) {
    return static_cast<int32_t>(a + b);
}
#endif

// The four operations are exported under their plain names, none decorated as a
// stdcall function's would be, and in the 32-bit build each leaves its arguments to
// the caller. The calls are harmless: an unknown device, and a handle never opened.
void ExportsAreTheCFunctionsOfTheHeader() {
    const HMODULE library = GetModuleHandleA("tiny_hid_dll.dll");
    Check(library != nullptr, "tiny_hid_dll.dll is loaded", 1, 0);
    if (library == nullptr) {
        return;
    }
    uint8_t buffer[HID_REPORT_BUFFER_SIZE] = {0x11, 0x10};
    uint32_t outWord = kUntouchedWord;
    const uint32_t unknownDevice[] = {kWineVendorId, 0x7777, 0};
    const uint32_t notOpen[] = {static_cast<uint32_t>(HID_NO_DEVICE),
                                static_cast<uint32_t>(reinterpret_cast<uintptr_t>(buffer)),
                                static_cast<uint32_t>(reinterpret_cast<uintptr_t>(&outWord))};
    struct Export {
        const char* name;
        const char* stdcallName;
        const uint32_t* args;
    };
#if defined(__i386__)
    const uint32_t two[] = {1, 2, 0};
    const long popped = ArgumentBytesLeftByCall(reinterpret_cast<uintptr_t>(&PopsItsTwoWords), two);
    const long left = ArgumentBytesLeftByCall(reinterpret_cast<uintptr_t>(&LeavesItsTwoWords), two);
    Check(popped == 4, "the measure sees a stdcall function pop its 8 bytes (left)", 4, popped);
    Check(left == 12, "the measure sees a C function leave them (left)", 12, left);
#endif
    const Export exports[] = {
        {"OpenHidHandle", "_OpenHidHandle@8", unknownDevice},
        {"ReadReport", "_ReadReport@12", notOpen},
        {"WriteReport", "_WriteReport@12", notOpen},
        {"CloseHidHandle", "_CloseHidHandle@4", notOpen},
    };
    for (const Export& e : exports) {
        const FARPROC fn = GetProcAddress(library, e.name);
        Check(fn != nullptr, e.name, 1, 0);
        Check(GetProcAddress(library, e.stdcallName) == nullptr, e.stdcallName, 0, 1);
#if defined(__i386__)
        if (fn != nullptr) {
            const std::string what = std::string(e.name) + " leaves its arguments (bytes)";
            const long left = ArgumentBytesLeftByCall(reinterpret_cast<uintptr_t>(fn), e.args);
            Check(left == 12, what.c_str(), 12, left);
        }
#else
        (void)e.args;
#endif
    }
    Check(outWord == kUntouchedWord, "calls on a handle never opened leave the out-word", 1, 0);
}

} // namespace

int main() {
    UnbufferedOutput();
    ExportsAreTheCFunctionsOfTheHeader();
    WaitForWineDevices();
    FindsOnlyWhatIsThere();

    const HidHandle first = OpenHidHandle(kWineVendorId, kWineKeyboardId);
    const HidHandle second = OpenHidHandle(kWineVendorId, kWineKeyboardId);
    if (first == HID_NO_DEVICE || second == HID_NO_DEVICE) {
        std::printf("FAIL Wine's virtual keyboard cannot be opened twice\n");
        return 1;
    }
    Check(first != second, "two openings get two handles", 1, 0);
    ReadsWithoutInputTimeOut(first);
    WritesToADeviceWithoutOutputReportsFail(first);
    Check(ReadReport(first, nullptr, nullptr) == -1, "a read without a buffer", -1, 0);
    CloseWakesAReadInProgress(first);
    ClosedHandlesDoNothing(first);

    // The other handle on the same device lives on; a new one is never an old one.
    uint8_t buffer[HID_REPORT_BUFFER_SIZE];
    Check(ReadReport(second, buffer, nullptr) == 0, "the other handle still reads", 0, -1);
    const HidHandle third = OpenHidHandle(kWineVendorId, kWineKeyboardId);
    Check(third != first && third != second, "handles are never reused", 1, 0);
    CloseHidHandle(second);
    CloseHidHandle(third);

    std::printf("hid_library_check: %d failures\n", checkFailures);
    return checkFailures;
}
