#include "commands/parameters.h"

#include <cmath>

#include "qvzsim/error_queue.h"
#include "qvzsim/faults.h"
#include "qvzsim/units.h"

namespace qvzsim {
namespace {

char Upper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

}  // namespace

bool IsKeyword(const Parameter& parameter, std::string_view shortForm, std::string_view longForm) {
    if (parameter.kind != Parameter::Kind::kCharacter) {
        return false;
    }
    std::string upper;
    for (char c : parameter.text) {
        upper.push_back(Upper(c));
    }
    return upper == shortForm || upper == longForm;
}

int ToBool(const Parameter& parameter, bool& value) {
    if (parameter.kind == Parameter::Kind::kNumber) {
        if (parameter.number == 0.0 || parameter.number == 1.0) {
            value = parameter.number == 1.0;
            return 0;
        }
        return errors::kIllegalParameterValue;
    }
    if (IsKeyword(parameter, "ON", "ON")) {
        value = true;
        return 0;
    }
    if (IsKeyword(parameter, "OFF", "OFF")) {
        value = false;
        return 0;
    }
    return parameter.kind == Parameter::Kind::kString ? errors::kDataTypeError
                                                      : errors::kIllegalParameterValue;
}

int ToInteger(const Parameter& parameter, long& value) {
    if (parameter.kind != Parameter::Kind::kNumber) {
        return errors::kDataTypeError;
    }
    if (!parameter.suffix.empty()) {
        return errors::kSuffixNotAllowed;
    }
    const double rounded = std::round(parameter.number);
    if (std::fabs(rounded) > 2147483647.0) {
        return errors::kDataOutOfRange;
    }
    value = static_cast<long>(rounded);
    return 0;
}

int ToFrequency(const Parameter& parameter, double& value) {
    if (parameter.kind != Parameter::Kind::kNumber) {
        return errors::kDataTypeError;
    }
    value = parameter.number;
    return ApplyUnitSuffix(parameter.suffix, "HZ", value) ? 0 : errors::kInvalidSuffix;
}

int ToMask(const Parameter& parameter, unsigned& mask) {
    long value = 0;
    const int error = ToInteger(parameter, value);
    if (error != 0) {
        return error;
    }
    if (value < 0 || value > 255) {
        return errors::kDataOutOfRange;
    }
    mask = static_cast<unsigned>(value);
    return 0;
}

int ToText(const Parameter& parameter, std::string& value) {
    if (parameter.kind != Parameter::Kind::kString) {
        return errors::kDataTypeError;
    }
    value = parameter.text;
    return 0;
}

int ToTimes(const Parameter& parameter, int& times) {
    if (IsKeyword(parameter, "ALW", "ALWAYS")) {
        times = Faults::kAlways;
        return 0;
    }
    long value = 0;
    int error = ToInteger(parameter, value);
    if (error != 0) {
        return error;
    }
    if (value < 1) {
        return errors::kDataOutOfRange;
    }
    times = static_cast<int>(value);
    return 0;
}

int BoundKeyword(const Parameter& parameter) {
    if (IsKeyword(parameter, "MIN", "MINIMUM")) {
        return -1;
    }
    return IsKeyword(parameter, "MAX", "MAXIMUM") ? 1 : 0;
}

}  // namespace qvzsim
