// Scratch files for the emulator's tests: a private temporary directory and
// Touchstone text in the form the plug-in writes.
#ifndef QVZSIM_TEST_FILES_H
#define QVZSIM_TEST_FILES_H

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "qvzsim/instrument_state.h"

namespace qvzsim_test {

// A directory of its own under the system's temporary directory, removed
// with everything in it when the object goes.
class TempDir {
public:
    TempDir() {
        static std::atomic<int> counter{0};
        const auto base = std::filesystem::temp_directory_path();
        for (int attempt = 0; attempt < 1000; ++attempt) {
            path_ = base / ("qvzsim_test_" + std::to_string(std::random_device{}()) + "_" +
                            std::to_string(counter++));
            if (std::filesystem::create_directory(path_)) {
                return;
            }
        }
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    std::string Path() const { return path_.string(); }
    std::string File(const std::string& name) const { return (path_ / name).string(); }

    // Writes `content` byte for byte and returns the file's full name.
    std::string Write(const std::string& name, const std::string& content) const {
        const std::string full = File(name);
        std::ofstream out(full, std::ios::binary | std::ios::trunc);
        out << content;
        return full;
    }

private:
    std::filesystem::path path_;
};

// "%-.9E" with a three-digit exponent, as the plug-in formats numbers.
inline std::string LibraryNumber(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.9E", value);
    std::string s = text;
    const std::size_t e = s.find('E');
    if (e != std::string::npos && s.size() - e == 4) {  // E+dd -> E+0dd
        s.insert(e + 2, "0");
    }
    return s;
}

// A two-port file with the plug-in's layout (CR LF, RI, Hz, R 50) and
// simple values at the given frequencies.
inline std::string LibraryStyleTouchstone(const std::vector<double>& frequencies) {
    std::string text = "# Hz S RI R 50\r\n! Date: Sun Dec 06 22:01:43 2026\r\n! Freq ";
    for (const char* name : {"S11", "S21", "S12", "S22"}) {
        text += std::string(25, ' ') + name;
    }
    text += "\r\n";
    const double values[8] = {0.1, -0.2, 0.95, 0.0, 0.95, 0.0, -0.05, 0.25};
    for (double f : frequencies) {
        text += LibraryNumber(f);
        for (double v : values) {
            text += v < 0 ? " " : "  ";
            text += LibraryNumber(v);
        }
        text += "\r\n";
    }
    return text;
}

inline std::string LibraryStyleTouchstone(const qvzsim::SweepSettings& sweep) {
    return LibraryStyleTouchstone(qvzsim::SweepFrequencies(sweep));
}

}  // namespace qvzsim_test

#endif
