#include "device_state_reset.h"

#include <new>
#include <type_traits>

#include "device_state.h"

// Builds the record anew in place: value-initialisation zeroes every field, those
// added later too, so the reset cannot leave one behind. Ending the old record
// without its destructor is sound only while it has nothing to release.
static_assert(std::is_trivially_destructible_v<DeviceState>,
              "DeviceState must hold nothing to release for the reset to rebuild it");

void ResetDeviceState() {
    new (&deviceState) DeviceState{};
}
