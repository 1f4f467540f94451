#include "output_report_length.h"

size_t OutputReportLength(uint8_t reportId) {
    switch (reportId) {
    case 0x11:
        return 2;
    case 0x12:
        return 3;
    case 0x17:
        return 7;
    default:
        return kRemoteMaxOutputReportLength;
    }
}
