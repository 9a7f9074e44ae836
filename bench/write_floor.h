// The machine's floor for writing a Touchstone file line by line: the three
// header lines and n ready-made 162-byte data lines, one write() each, into
// a file opened with O_TRUNC. No formatting, no stream: what remains of an
// apply's file write when everything but the writes is free. POSIX, like
// the release preset that builds the benchmarks.
#ifndef QVZ_BENCH_WRITE_FLOOR_H
#define QVZ_BENCH_WRITE_FLOOR_H

#include <fcntl.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace qvz::bench {

constexpr std::size_t kDataLineLength = 162;  // with its CR LF

inline bool WriteFloorFile(const std::string& path, std::int64_t n) {
    static const std::string header[3] = {
        "# Hz S RI R 50\r\n", "! Date: Tue Dec 08 06:11:04 2026\r\n",
        "! Freq                          S11                         S21"
        "                         S12                         S22\r\n"};
    static const std::string line = [] {
        std::string text(kDataLineLength - 2, ' ');
        for (std::size_t i = 0; i < text.size(); ++i) {
            text[i] = static_cast<char>('0' + i % 10);
        }
        return text + "\r\n";
    }();
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    auto put = [fd](const std::string& text) {
        return ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    };
    auto done = [fd] { return ::close(fd) == 0; };
    if (fd < 0) {
        return false;
    }
    bool ok = true;
    for (const std::string& text : header) {
        ok = ok && put(text);
    }
    for (std::int64_t i = 0; ok && i < n; ++i) {
        ok = put(line);
    }
    return done() && ok;
}

}  // namespace qvz::bench

#endif
