#include "device_state_reset.h"

#include <cstring>

#include "device_state.h"

void ResetDeviceState() {
    DeviceState& s = deviceState;
    s.hidHandle = 0;
    std::memset(s.inputReport, 0, sizeof s.inputReport);
    std::memset(s.outputReport, 0, sizeof s.outputReport);
    s.readOutWord = s.writeOutWord = 0;
    s.buttonByte1 = s.buttonByte2 = s.accelX = s.accelY = s.accelZ = 0;
    s.gyroValue = 0;
    s.runFlag = s.probeActive = 0;
    s.probeThread = 0;
    s.mainWindow = nullptr;
    s.remoteClosed = s.shutdownBegun = 0;
}
