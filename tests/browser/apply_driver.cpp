// Drives the analyzer (the emulator) through the qvzfix library as a host
// program would, for the screen's browser test and its load run.
//
//   qvz_apply_driver RESOURCE DIR
//       port 1 de-embeds a fixture, port 2 embeds an L-match for the
//       emulator's built-in antenna; prints each status; exit 0 when all are 0
//   qvz_apply_driver RESOURCE DIR --clients N --seconds S
//       N threads, each with its own session, apply in a loop for S seconds;
//       prints the applies, failures and slowest apply
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "qvzfix.h"

namespace {

constexpr std::int32_t kEmbedding = 0;
constexpr std::int32_t kDeembedding = 1;

struct PortPlan {
    std::int32_t port, circuit, action;
    double R, L, C, G;
};

// Port 1: a fixture of 1 nH in series and 0.5 pF to ground, to take away.
// Port 2: shunt 2.3 pF, series 1.4 nH: matches the built-in 12 ohm antenna to
// 50 ohm near its 2.44 GHz resonance.
const PortPlan kPlans[] = {
    {1, 0, kDeembedding, 0.2, 1e-9, 0.5e-12, 1e-5},
    {2, 1, kEmbedding, 0.3, 1.4e-9, 2.3e-12, 1e-5},
};

std::int32_t Apply(const PortPlan& plan) {
    std::int32_t status = QVZ_SetActivePort(plan.port);
    if (status == 0) status = QVZ_SetCircuit(plan.circuit);
    if (status == 0) status = QVZ_SetAction(plan.action);
    if (status == 0) status = QVZ_SetRLCGValues(plan.R, plan.L, plan.C, plan.G);
    if (status == 0) status = QVZ_ApplyChanges();
    return status;
}

std::int32_t OpenSession(const char* resource, const std::string& dir, const std::string& prefix) {
    std::int32_t status = QVZ_init(resource);
    if (status == 0) status = QVZ_SetS2PFilePath(dir.c_str());
    if (status == 0) status = QVZ_SetS2PFilePrefix(prefix.c_str());
    return status;
}

int Once(const char* resource, const std::string& dir) {
    std::int32_t status = OpenSession(resource, dir, "Screen_");
    if (status != 0) {
        std::printf("QVZ_init: status %d\n", static_cast<int>(status));
        return 1;
    }
    int failures = 0;
    for (const PortPlan& plan : kPlans) {
        status = Apply(plan);
        std::printf("port %d %s: status %d\n", static_cast<int>(plan.port),
                    plan.action == kEmbedding ? "embedding" : "de-embedding",
                    static_cast<int>(status));
        failures += status != 0;
    }
    QVZ_close();
    return failures == 0 ? 0 : 1;
}

int Load(const char* resource, const std::string& dir, int clients, int seconds) {
    std::atomic<long> applies{0};
    std::atomic<long> failures{0};
    std::atomic<long long> slowestUs{0};
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    std::vector<std::thread> threads;
    for (int k = 0; k < clients; ++k) {
        threads.emplace_back([&, k] {
            if (OpenSession(resource, dir, "Load" + std::to_string(k) + "_") != 0) {
                ++failures;
                QVZ_close();
                return;
            }
            for (long n = 0; std::chrono::steady_clock::now() < until; ++n) {
                const auto begin = std::chrono::steady_clock::now();
                const std::int32_t status = Apply(kPlans[n % 2]);
                const long long us = std::chrono::duration_cast<std::chrono::microseconds>(
                                         std::chrono::steady_clock::now() - begin)
                                         .count();
                long long seen = slowestUs.load();
                while (us > seen && !slowestUs.compare_exchange_weak(seen, us)) {
                }
                ++applies;
                if (status != 0) {
                    ++failures;
                }
            }
            QVZ_close();
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    std::printf("clients %d, %d s: %ld applies, %ld failed, slowest %.1f ms\n", clients, seconds,
                applies.load(), failures.load(), static_cast<double>(slowestUs.load()) / 1000.0);
    return failures.load() == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3 && argc != 7) {
        std::fprintf(stderr, "usage: qvz_apply_driver RESOURCE DIR [--clients N --seconds S]\n");
        return 2;
    }
    const std::string dir = argv[2];
    if (argc == 3) {
        return Once(argv[1], dir);
    }
    const int clients = std::atoi(argv[4]);
    const int seconds = std::atoi(argv[6]);
    if (std::string(argv[3]) != "--clients" || std::string(argv[5]) != "--seconds" || clients < 1 ||
        seconds < 1) {
        std::fprintf(stderr, "usage: qvz_apply_driver RESOURCE DIR [--clients N --seconds S]\n");
        return 2;
    }
    return Load(argv[1], dir, clients, seconds);
}
