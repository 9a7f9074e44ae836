#include "qvzsim/dut.h"

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <utility>

namespace qvzsim {
namespace {

constexpr double kTwoPi = 6.283185307179586;
constexpr double kReferenceOhms = 50.0;
constexpr std::uintmax_t kMaxDeviceFileBytes = std::uintmax_t{256} * 1024 * 1024;

ErrorEntry InvalidFile(const std::string& reason) {
    return ErrorEntry{errors::kInvalidTouchstoneFile,
                      "Not a valid Touchstone file for a device; " + reason};
}

// The N of a ".s<N>p" name, 0 when the name has none.
int PortsFromName(const std::string& path) {
    const std::string name = std::filesystem::path(path).filename().string();
    const std::size_t dot = name.find_last_of('.');
    if (dot == std::string::npos || name.size() - dot < 4) {
        return 0;
    }
    const char s = name[dot + 1];
    const char p = name.back();
    if ((s != 's' && s != 'S') || (p != 'p' && p != 'P')) {
        return 0;
    }
    int ports = 0;
    for (std::size_t i = dot + 2; i + 1 < name.size(); ++i) {
        if (name[i] < '0' || name[i] > '9' || ports > 1000) {
            return 0;
        }
        ports = ports * 10 + (name[i] - '0');
    }
    return ports;
}

Complex Renormalised(Complex gamma, double fromOhms) {
    if (fromOhms == kReferenceOhms) {
        return gamma;
    }
    const Complex z = fromOhms * (1.0 + gamma) / (1.0 - gamma);
    return (z - kReferenceOhms) / (z + kReferenceOhms);
}

}  // namespace

Complex SeriesRlcReflection(const SeriesRlc& model, double hertz) {
    const double omega = kTwoPi * hertz;
    if (omega <= 0.0) {
        return Complex(1.0, 0.0);
    }
    const Complex z(model.ohms, omega * model.henries - 1.0 / (omega * model.farads));
    return (z - kReferenceOhms) / (z + kReferenceOhms);
}

Device::Device() = default;

Device::Device(std::string file, TouchstoneData data) : file_(std::move(file)) {
    const std::size_t stride = data.ports == 1 ? 1 : 4;
    frequencies_ = std::move(data.frequenciesHz);
    s11_.reserve(frequencies_.size());
    for (std::size_t i = 0; i < frequencies_.size(); ++i) {
        s11_.push_back(Renormalised(data.sParameters.at(i * stride), data.referenceOhms));
    }
}

std::vector<Complex> Device::Reflection(const std::vector<double>& frequencies) const {
    if (BuiltIn()) {
        std::vector<Complex> out;
        out.reserve(frequencies.size());
        for (double f : frequencies) {
            out.push_back(SeriesRlcReflection(kSmallAntenna, f));
        }
        return out;
    }
    return InterpolateOnto(frequencies_, s11_, frequencies);
}

ErrorEntry ReadDeviceFile(const std::string& path, TouchstoneData& data) {
    const int named = PortsFromName(path);
    if (named > 2) {
        return InvalidFile("a ." + path.substr(path.find_last_of('.') + 1) +
                           " file has more than two ports");
    }
    std::error_code error;
    const std::filesystem::path file(path);
    if (!std::filesystem::is_regular_file(file, error)) {
        return ErrorEntry{errors::kFileNameNotFound, StandardErrorText(errors::kFileNameNotFound)};
    }
    const std::uintmax_t size = std::filesystem::file_size(file, error);
    if (error || size > kMaxDeviceFileBytes) {
        return error ? ErrorEntry{errors::kFileNameNotFound,
                                  StandardErrorText(errors::kFileNameNotFound)}
                     : InvalidFile("the file is larger than 256 MiB");
    }
    std::ifstream in(file, std::ios::binary);
    std::string text(static_cast<std::size_t>(size), '\0');
    in.read(&text[0], static_cast<std::streamsize>(size));
    if (!in.is_open() || in.bad()) {
        return ErrorEntry{errors::kFileNameNotFound, StandardErrorText(errors::kFileNameNotFound)};
    }
    text.resize(static_cast<std::size_t>(in.gcount()));  // the file may have shrunk meanwhile
    TouchstoneResult parsed = ParseTouchstone(text, named == 1 ? 1 : 2);
    if (parsed.status != TouchstoneStatus::kOk) {
        return InvalidFile(parsed.reason);
    }
    data = std::move(parsed.data);
    return ErrorEntry{};
}

DeviceBank::DeviceBank() {
    const auto builtIn = std::make_shared<const Device>();
    devices_.fill(builtIn);
}

std::shared_ptr<const Device> DeviceBank::GetDevice(int port) const {
    if (port < 1 || port > kPortCount) {
        throw std::out_of_range("qvzsim: no port " + std::to_string(port));
    }
    std::lock_guard<std::mutex> lock(mutex_);
    return devices_[static_cast<std::size_t>(port - 1)];
}

ErrorEntry DeviceBank::Load(int port, const std::string& file) {
    if (port < 1 || port > kPortCount) {
        throw std::out_of_range("qvzsim: no port " + std::to_string(port));
    }
    std::shared_ptr<const Device> device;
    if (file.empty()) {
        device = std::make_shared<const Device>();
    } else {
        // Read without the lock: other clients are not held up by a big file.
        TouchstoneData data;
        ErrorEntry outcome = ReadDeviceFile(file, data);
        if (outcome.code != 0) {
            return outcome;
        }
        device = std::make_shared<const Device>(file, std::move(data));
    }
    std::lock_guard<std::mutex> lock(mutex_);
    devices_[static_cast<std::size_t>(port - 1)] = std::move(device);
    return ErrorEntry{};
}

}  // namespace qvzsim
