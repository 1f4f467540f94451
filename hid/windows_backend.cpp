// The device calls on Windows, over the system's HID API: setupapi lists the HID
// device interfaces, HidD_GetAttributes matches vendor and product, HidP_GetCaps
// gives the report lengths, cfgmgr32 tells which Bluetooth stack carries the
// remote, and windows_hid_file moves the reports with overlapped I/O (its header
// states the waits, the locking and how writes reach the remote).
#include <windows.h>

#include <cfgmgr32.h>
#include <setupapi.h>
// MinGW-w64's HID header declares C functions without C linkage of its own.
extern "C" {
#include <hidsdi.h>
}
// Defines the property keys of <devpkey.h> here rather than declaring them.
#include <initguid.h>

#include <devpkey.h>

#include <string>
#include <vector>

#include "hid_device.h"
#include "windows_hid_file.h"

namespace {

constexpr ULONG kProviderChars = 256; // room for a driver provider's name

// setupapi checks each cbSize against the layout of its own build, which differs
// between 32-bit and 64-bit Windows (the detail record is packed to 5 bytes in 32-bit
// Windows; the others hold a pointer-sized field). A header that laid one out
// otherwise would leave the remote unfound in one of the two builds.
constexpr bool k64Bit = sizeof(void*) == 8;
static_assert(sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A) == (k64Bit ? 8 : 5));
static_assert(sizeof(SP_DEVICE_INTERFACE_DATA) == (k64Bit ? 32 : 28));
static_assert(sizeof(SP_DEVINFO_DATA) == (k64Bit ? 32 : 28));
static_assert(sizeof(HIDD_ATTRIBUTES) == 12);

// The device path of one interface of the set, and in node its device node; empty
// when it cannot be read.
std::string InterfacePath(HDEVINFO set, SP_DEVICE_INTERFACE_DATA& interfaceData, DEVINST& node) {
    DWORD size = 0;
    SetupDiGetDeviceInterfaceDetailA(set, &interfaceData, nullptr, 0, &size, nullptr);
    if (size < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A)) {
        return {};
    }
    std::vector<DWORD> storage(size / sizeof(DWORD) + 1);
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(storage.data());
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
    SP_DEVINFO_DATA deviceData = {};
    deviceData.cbSize = sizeof(deviceData);
    if (!SetupDiGetDeviceInterfaceDetailA(set, &interfaceData, detail, size, nullptr,
                                          &deviceData)) {
        return {};
    }
    node = deviceData.DevInst;
    return detail->DevicePath;
}

// Who provides the driver of the device node above the HID device node: for a
// Bluetooth remote, its Bluetooth device, whose driver comes with the stack
// ("Microsoft" for Windows' own, "TOSHIBA" for Toshiba's, which brings its own HID
// class driver). Empty when it cannot be read.
std::string ParentDriverProvider(DEVINST hidNode) {
    DEVINST parent = 0;
    if (CM_Get_Parent(&parent, hidNode, 0) != CR_SUCCESS) {
        return {};
    }
    WCHAR provider[kProviderChars] = {};
    ULONG size = sizeof(provider);
    DEVPROPTYPE type = DEVPROP_TYPE_EMPTY;
    if (CM_Get_DevNode_PropertyW(parent, &DEVPKEY_Device_DriverProvider, &type,
                                 reinterpret_cast<PBYTE>(provider), &size, 0) != CR_SUCCESS ||
        type != DEVPROP_TYPE_STRING) {
        return {};
    }
    provider[kProviderChars - 1] = L'\0';
    char narrow[kProviderChars * 3] = {};
    const int converted =
        WideCharToMultiByte(CP_UTF8, 0, provider, -1, narrow, sizeof(narrow), nullptr, nullptr);
    return converted > 0 ? narrow : std::string();
}

// Whether the device at path has these IDs. It is opened without read or write
// access, which also works for devices that the system holds for itself.
bool HasIds(const std::string& path, uint16_t vendorId, uint16_t productId) {
    HANDLE file = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    HIDD_ATTRIBUTES attributes = {};
    attributes.Size = sizeof(attributes);
    const bool matches = HidD_GetAttributes(file, &attributes) && attributes.VendorID == vendorId &&
                         attributes.ProductID == productId;
    CloseHandle(file);
    return matches;
}

// The device's input and output report lengths, report ID included; false when
// they cannot be read.
bool ReportLengths(HANDLE file, size_t& inputLength, size_t& outputLength) {
    PHIDP_PREPARSED_DATA preparsed = nullptr;
    if (!HidD_GetPreparsedData(file, &preparsed)) {
        return false;
    }
    HIDP_CAPS caps = {};
    const bool read = HidP_GetCaps(preparsed, &caps) == HIDP_STATUS_SUCCESS;
    HidD_FreePreparsedData(preparsed);
    inputLength = caps.InputReportByteLength;
    outputLength = caps.OutputReportByteLength;
    return read;
}

// Opens the device at path for overlapped reads and writes, written first the way
// its Bluetooth stack takes (write_method.h); nullptr when it cannot.
HidDevice* OpenPath(const std::string& path, DEVINST node) {
    HANDLE file =
        CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return nullptr;
    }
    size_t inputLength = 0;
    size_t outputLength = 0;
    if (!ReportLengths(file, inputLength, outputLength)) {
        CloseHandle(file);
        return nullptr;
    }
    return WrapHidFile(file, inputLength, outputLength,
                       FirstWriteMethod(ParentDriverProvider(node)), SystemHidFileCalls());
}

// Tries each present HID device with these IDs in setupapi's order; the first that
// opens wins.
HidDevice* OpenWindows(uint16_t vendorId, uint16_t productId) {
    GUID hidGuid;
    HidD_GetHidGuid(&hidGuid);
    HDEVINFO set =
        SetupDiGetClassDevsA(&hidGuid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE) {
        return nullptr;
    }
    HidDevice* device = nullptr;
    SP_DEVICE_INTERFACE_DATA interfaceData = {};
    interfaceData.cbSize = sizeof(interfaceData);
    for (DWORD index = 0; device == nullptr && SetupDiEnumDeviceInterfaces(set, nullptr, &hidGuid,
                                                                           index, &interfaceData);
         ++index) {
        DEVINST node = 0;
        const std::string path = InterfacePath(set, interfaceData, node);
        if (!path.empty() && HasIds(path, vendorId, productId)) {
            device = OpenPath(path, node);
        }
    }
    SetupDiDestroyDeviceInfoList(set);
    return device;
}

constexpr HidDeviceCalls kWindowsCalls = {
    .open = OpenWindows,
    .read = ReadHidFile,
    .write = WriteHidFile,
    .close = CloseHidFile,
    .reportDescriptor = nullptr, // Windows does not hand the descriptor out
    .clockUs = nullptr,          // the steady clock
};

} // namespace

const HidDeviceCalls& SystemHidDevice() {
    return kWindowsCalls;
}
