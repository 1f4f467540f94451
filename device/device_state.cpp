#include "device_state.h"

DeviceState deviceState;
