// A minimal line-oriented SCPI client over TCP, for tests and for the
// program's --send mode: send a line, read a line with a time limit.
#ifndef QVZSIM_CLIENT_H
#define QVZSIM_CLIENT_H

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace qvzsim {

class Client {
public:
    Client();
    ~Client();
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    bool Connect(const std::string& host, std::uint16_t port, std::string* error = nullptr);
    bool Connected() const;
    void Close();

    // Sends `line` followed by a line feed.
    bool Send(std::string_view line);
    // Sends the bytes as they are (no terminator added).
    bool SendRaw(std::string_view bytes);
    // The next reply line without its line feed; nothing on timeout, error
    // or end of stream.
    std::optional<std::string> ReadLine(int timeoutMs);
    // send() then readLine().
    std::optional<std::string> Query(std::string_view line, int timeoutMs = 2000);
    // Waits up to timeoutMs for the server to close the connection; true if
    // it did (data still arriving in the meantime is discarded).
    bool WaitForClose(int timeoutMs);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// True when the program message holds a query, i.e. a '?' outside quoted
// strings ("..." or '...', a doubled quote standing for one): the analyzer
// answers it with a line. `SYST:FAUL:SIL "SENS:SWE:POIN?"` is a setting.
bool ExpectsReply(std::string_view message);

}  // namespace qvzsim

#endif
