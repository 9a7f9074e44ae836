// The DLL's entry point makes no socket call: unloading the library while a
// host still has a session open leaves that connection to the process's end
// instead of closing it under the loader lock. The DLL's closesocket import
// is watched to tell.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <winsock2.h>

#include <atomic>
#include <cstdint>
#include <string>

#include <gtest/gtest.h>

#include "import_patch.h"
#include "loaded_qvzfix.h"

namespace qvz {
namespace testing {
namespace {

using CloseSocketFunction = int(WSAAPI*)(SOCKET);

std::atomic<int> g_closeSocketCalls{0};
std::atomic<CloseSocketFunction> g_realCloseSocket{nullptr};

int WSAAPI CountingCloseSocket(SOCKET socket) {
    ++g_closeSocketCalls;
    return g_realCloseSocket.load()(socket);
}

// A listener on 127.0.0.1 the library can connect to; connections wait in
// its backlog, which is all a session needs to open.
class Listener {
public:
    Listener() {
        WSADATA data;
        started_ = WSAStartup(MAKEWORD(2, 2), &data) == 0;
        socket_ = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int length = sizeof address;
        if (socket_ != INVALID_SOCKET &&
            ::bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
            ::listen(socket_, 8) == 0 &&
            ::getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
            port_ = ntohs(address.sin_port);
        }
    }
    ~Listener() {
        if (socket_ != INVALID_SOCKET) {
            ::closesocket(socket_);
        }
        if (started_) {
            WSACleanup();
        }
    }
    Listener(const Listener&) = delete;
    Listener& operator=(const Listener&) = delete;

    bool Listening() const { return port_ != 0; }
    std::string Resource() const {
        return "TCPIP0::127.0.0.1::" + std::to_string(port_) + "::SOCKET";
    }

private:
    bool started_ = false;
    SOCKET socket_ = INVALID_SOCKET;
    std::uint16_t port_ = 0;
};

// Loads the library and routes its closesocket calls through the counter.
bool LoadWatched(LoadedQvzfix& library) {
    g_realCloseSocket = reinterpret_cast<CloseSocketFunction>(reinterpret_cast<void (*)()>(
        GetProcAddress(GetModuleHandleA("ws2_32.dll"), "closesocket")));
    return g_realCloseSocket.load() != nullptr && library.Load() &&
           PatchImport(library.Module(), "closesocket",
                       reinterpret_cast<ImportedFunction>(&CountingCloseSocket)) != nullptr;
}

TEST(EntryPointDll, UnloadingWithASessionLeftOpenMakesNoSocketCall) {
    Listener listener;
    ASSERT_TRUE(listener.Listening());
    LoadedQvzfix library;

    // The counter sees the library close a connection...
    ASSERT_TRUE(LoadWatched(library));
    ASSERT_EQ(library.init(listener.Resource().c_str()), 0);
    g_closeSocketCalls = 0;
    ASSERT_EQ(library.close(), 0);
    EXPECT_GT(g_closeSocketCalls.load(), 0);
    library.Unload();

    // ...and sees none when the library goes while the session is open.
    ASSERT_TRUE(LoadWatched(library));
    ASSERT_EQ(library.init(listener.Resource().c_str()), 0);
    g_closeSocketCalls = 0;
    library.Unload();
    ASSERT_EQ(GetModuleHandleA(kQvzfixDll), nullptr);
    EXPECT_EQ(g_closeSocketCalls.load(), 0);
}

}  // namespace
}  // namespace testing
}  // namespace qvz
