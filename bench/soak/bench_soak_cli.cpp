// quillon read and quillon write run as a user runs them, over and over against one long-lived
// quillon-sim: 1,000 consecutive reads and 200 writes of one device, then ten reads of all 99
// devices in one call each (99 slots at once). No run may fail, and the simulator's memory,
// descriptors and threads must not grow from the first hundred runs to the last hundred (from
// the first of the ten calls to the last for the parallel reads).
//
// Run: bench_soak_cli [--quick]   (--quick: a tenth of the runs)
#include "soak_figures.h"

#include "sim_process.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QThread>

#include <cstdio>
#include <string>

namespace {

constexpr int kDevices = 99;
constexpr int kRounds = 10;
const QString kQuietMs = QStringLiteral("20");
// The simulator's heap settles within a few hundred kB once every device has been served.
constexpr long kRssSlackKb = 512;
constexpr int kRunLimitMs = 120000;

// Runs quillon; true when it ended with status 0.
bool run_quillon(const QStringList &args) {
    QProcess quillon;
    quillon.start(QStringLiteral(QUILLON_EXE), args);
    const bool ended = quillon.waitForFinished(kRunLimitMs);
    const bool ok =
        ended && quillon.exitStatus() == QProcess::NormalExit && quillon.exitCode() == 0;
    if (!ok) {
        if (!ended)
            quillon.kill();
        std::printf("  quillon %s failed: %s\n", qPrintable(args.first()),
                    quillon.readAllStandardError().constData());
    }
    return ok;
}

// `count` runs of `args`, the simulator sampled after each.
// With a window of one run, the simulator is given a moment to close the last connections before
// it is sampled, since one sample leaves no room for stragglers.
bool soak_runs(QProcess &sim, const QStringList &args, int count, size_t span, const char *what) {
    const std::string pid = std::to_string(sim.processId());
    soak::Window window(what, static_cast<size_t>(count), span);
    int failed = 0;
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < count; ++i) {
        failed += run_quillon(args) ? 0 : 1;
        sim.readAll(); // its reports must not fill the pipe
        if (span == 1)
            QThread::msleep(200);
        window.add(soak::sample(pid));
    }
    std::printf("%d x quillon %s in %.1f s, %d failed\n", count, qPrintable(args.first()),
                static_cast<double>(clock.elapsed()) / 1000.0, failed);
    return window.report(kRssSlackKb, !soak::kSanitized) && failed == 0 &&
           sim.state() == QProcess::Running;
}

} // namespace

int main(int argc, char *argv[]) {
    QCoreApplication app(argc, argv);
    const bool quick = argc > 1 && std::string(argv[1]) == "--quick";
    QProcess sim;
    QStringList hosts;
    if (!start_sim(sim, QStringLiteral(QUILLON_SIM_EXE), kDevices, &hosts)) {
        std::printf("quillon-sim did not start %d devices\n", kDevices);
        return 1;
    }
    std::printf("command-line soak against quillon-sim (pid %lld), quiet window %s ms%s\n",
                static_cast<long long>(sim.processId()), qPrintable(kQuietMs),
                soak::kSanitized ? " (sanitizer build)" : "");
    const QStringList quiet = {"--quiet-ms", kQuietMs};
    bool ok = soak_runs(sim, QStringList{"read", hosts.first()} + quiet, quick ? 100 : 1000, 100,
                        "reads, first/last hundred");
    ok = soak_runs(sim, QStringList{"write", hosts.first(), "--mode", "5"} + quiet,
                   quick ? 100 : 200, 100, "writes, first/last hundred") &&
         ok;
    ok = soak_runs(sim, QStringList{"read"} + hosts + quiet, quick ? 2 : kRounds, 1,
                   "99 devices per call, first/last call") &&
         ok;
    sim.terminate();
    if (!sim.waitForFinished(10000) || sim.exitStatus() != QProcess::NormalExit ||
        sim.exitCode() != 0) {
        std::printf("quillon-sim did not stop cleanly\n");
        ok = false;
    }
    std::printf("%s\n", ok ? "soak passed" : "SOAK FAILED");
    return ok ? 0 : 1;
}
