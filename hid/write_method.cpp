#include "write_method.h"

#include <algorithm>
#include <cctype>

namespace {

// Whether text is "TOSHIBA" in any case.
bool IsToshiba(const std::string& text) {
    const std::string toshiba = "TOSHIBA";
    return text.size() == toshiba.size() &&
           std::equal(text.begin(), text.end(), toshiba.begin(), [](char a, char b) {
               return std::toupper(static_cast<unsigned char>(a)) == b;
           });
}

} // namespace

WriteMethod FirstWriteMethod(const std::string& driverProvider) {
    return IsToshiba(driverProvider) ? WriteMethod::PaddedWrite : WriteMethod::ReportWrite;
}

WriteMethod NextWriteMethod(WriteMethod failed, uint32_t error) {
    const bool refusedForItsLength =
        error == kErrorInvalidUserBuffer || error == kErrorInvalidParameter;
    if (failed == WriteMethod::ReportWrite && refusedForItsLength) {
        return WriteMethod::SetOutputReport;
    }
    return WriteMethod::None;
}

size_t WriteMethodLength(WriteMethod method, size_t reportLength, size_t outputLength) {
    return method == WriteMethod::PaddedWrite ? outputLength : reportLength;
}
