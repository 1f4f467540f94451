// Prints the reports of remote_reports.h as shell variable assignments
// (MODE_ACCEL='12 00 31'), for the shell tests: the build writes them to
// tests/support/remote_reports.sh, which tests/support/test_lib.sh reads.
#include <cstdio>
#include <string>

#include "remote_reports.h"

namespace {

// The bytes as the simulated remote's log shows them: "12 00 31".
std::string Hex(const Bytes& bytes) {
    return WriteEvent(bytes).substr(std::string("write ").size());
}

void Assign(const char* name, const Bytes& bytes) {
    std::printf("%s='%s'\n", name, Hex(bytes).c_str());
}

}  // namespace

int main() {
    std::printf("# Written by remote_reports_sh from tests/support/remote_reports.h.\n");
    Assign("MODE_BUTTONS", kModeButtonsReport);
    Assign("MODE_ACCEL", kModeAccelReport);
    Assign("GYRO_REQUEST", kGyroRequestReport);
    Assign("ALL_LEDS", kAllLedsReport);
    Assign("FIRST_LED", kFirstLedReport);
    Assign("STATUS_REQUEST", kStatusRequest);
    Assign("DRIVER_IDENTITY_READ", kDriverIdentityRead);
    Assign("MODE_ACCEL_EXTENSION", kModeAccelExtensionReport);
    // A read reply's first six bytes (report, buttons, size and error, address)
    // for the gyro register; its data follow.
    const Bytes reply = ReadReply(0, 0);
    Assign("GYRO_REPLY_HEAD", Bytes(reply.begin(), reply.begin() + 6));
    return 0;
}
