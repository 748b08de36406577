// quillon read of 99 simulated devices in one call, against a read of one device. The devices
// are read in parallel, one connection each, so the call should take hardly longer than a
// single read: the goal is a ratio under 1.2. Measured at the library's default quiet window
// (1000 ms, what a user gets) and at 50 ms (where process start-up weighs more).
#include "sim_process.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int kDevices = 99;
constexpr int kRounds = 3;

// Runs quillon read on `hosts`; the wall time in milliseconds, or -1 when it failed.
double timed_read(const QStringList &hosts, const QString &quiet_ms) {
    QProcess quillon;
    QElapsedTimer timer;
    timer.start();
    quillon.start(QStringLiteral(QUILLON_EXE),
                  QStringList{"read"} + hosts + QStringList{"--quiet-ms", quiet_ms, "--json"});
    if (!quillon.waitForFinished(120000) || quillon.exitCode() != 0) {
        std::fprintf(stderr, "quillon read failed: %s\n",
                     quillon.readAllStandardError().constData());
        return -1;
    }
    return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char *argv[]) {
    QCoreApplication app(argc, argv);
    QProcess sim;
    QStringList hosts;
    if (!start_sim(sim, QStringLiteral(QUILLON_SIM_EXE), kDevices, &hosts)) {
        std::fprintf(stderr, "quillon-sim did not start %d devices\n", kDevices);
        return 1;
    }
    int status = 0;
    for (const char *quiet : {"1000", "50"}) {
        std::vector<double> one, all;
        for (int round = 0; round < kRounds; ++round) {
            one.push_back(timed_read(hosts.mid(0, 1), quiet));
            all.push_back(timed_read(hosts, quiet));
        }
        if (*std::min_element(one.begin(), one.end()) < 0 ||
            *std::min_element(all.begin(), all.end()) < 0) {
            status = 1;
            continue;
        }
        const double ratio = median(all) / median(one);
        std::printf("quiet %4s ms: read of 1 device %7.1f ms, of %d devices in one call %7.1f ms, "
                    "ratio %.3f (goal < 1.2)%s\n",
                    quiet, median(one), kDevices, median(all), ratio,
                    ratio < 1.2 ? "" : "  MISSED");
    }
    sim.terminate();
    sim.waitForFinished();
    return status;
}
