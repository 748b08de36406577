// The configurator in demo mode, offscreen, against its simulated devices on loopback:
//   - start-up: from launching a process to its main window being shown (goal < 0.5 s);
//   - resident memory after a read (goal < 60 MB);
//   - CPU use while idle for 10 s after the wait dialog closed (goal < 1 % of one core), with
//     the simulated devices running in the process as in demo mode, and again without them;
//   - the longest gap between the ticks of a 2 ms timer during a read and a save, the longest
//     stall of the GUI thread (goal < 50 ms).
// The start-up is measured in child processes of this program that run the configurator's
// start-up and report the time since the parent launched them (a system-wide monotonic
// clock). Prints the figures, and exits 1 when one misses its goal.
#include "TDemoDevices.h"
#include "TMainForm.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <vector>

namespace {

constexpr int kStartupRuns = 5;
constexpr int kFlowRuns = 5;
constexpr int kIdleMs = 10000;
constexpr int kFlowTimeoutMs = 20000;

int64_t monotonicUs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double residentMb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stod(line.substr(6)) / 1024.0;
    }
    return -1;
}

// The window with its boxes answered at once (none is expected in these flows).
class BenchMainForm : public TMainForm {
public:
    using TMainForm::TMainForm;
    QMessageBox::StandardButton ShowMessage(QMessageBox::Icon, const QString &, const QString &text,
                                            QMessageBox::StandardButtons) override {
        std::fprintf(stderr, "bench: unexpected box: %s\n", qPrintable(text));
        ++unexpectedBoxes;
        return QMessageBox::Ok;
    }
    int unexpectedBoxes = 0;
};

void spin(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// The CPU time of the whole process over kIdleMs of an idle event loop, in % of one core.
double idleCpuPercent() {
    const double before = cpuSeconds();
    spin(kIdleMs);
    return (cpuSeconds() - before) / (kIdleMs / 1000.0) * 100.0;
}

// Runs one flow to its end and returns the longest gap between the ticks of a 2 ms timer
// meanwhile, in ms (-1 when the flow did not end).
double runFlow(BenchMainForm &form, QPushButton *button) {
    QElapsedTimer clock;
    int64_t last = 0;
    int64_t longest = 0;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const int64_t now = clock.nsecsElapsed() / 1000;
        longest = std::max(longest, now - last);
        last = now;
    });
    clock.start();
    ticker.start(2);
    button->click();
    QElapsedTimer limit;
    limit.start();
    do {
        spin(5);
    } while ((form.WaitForm() != nullptr ||
              form.ConfigPage()->StatusText() != QLatin1String("Done") ||
              form.Tcps()->State() != kvgapi::TTcpsCustom::Closed) &&
             limit.elapsed() < kFlowTimeoutMs);
    ticker.stop();
    if (limit.elapsed() >= kFlowTimeoutMs)
        return -1;
    return static_cast<double>(longest) / 1000.0;
}

// The child: start-up up to the shown window, then the time since the parent's launch.
int startupChild(int argc, char **argv, int64_t launchedUs) {
    QApplication application(argc, argv);
    TDemoDevices devices;
    if (!devices.Start())
        return 1;
    BenchMainForm form{QStringList()};
    devices.Aim(form);
    form.show();
    QCoreApplication::processEvents();
    if (!form.isVisible())
        return 1;
    std::printf("%lld\n", static_cast<long long>(monotonicUs() - launchedUs));
    return 0;
}

bool report(const char *what, double value, const char *unit, double goal) {
    const bool met = value >= 0 && value < goal;
    std::printf("%-44s %9.2f %-3s (goal < %g %s) %s\n", what, value, unit, goal, unit,
                met ? "met" : "MISSED");
    return met;
}

} // namespace

int main(int argc, char **argv) {
    if (argc == 3 && std::string(argv[1]) == "--startup-child")
        return startupChild(argc, argv, std::stoll(argv[2]));

    QApplication application(argc, argv);
    bool met = true;

    // Start-up, in fresh processes.
    std::vector<double> startups;
    for (int run = 0; run < kStartupRuns; ++run) {
        QProcess child;
        const int64_t launched = monotonicUs();
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--startup-child"), QString::number(launched)});
        if (!child.waitForFinished(30000) || child.exitCode() != 0) {
            std::fprintf(stderr, "bench: the start-up child failed\n");
            return 1;
        }
        startups.push_back(QString::fromLatin1(child.readAllStandardOutput()).trimmed().toDouble() /
                           1e6);
    }
    std::sort(startups.begin(), startups.end());
    met &= report("start-up to shown window, median (s)", startups[startups.size() / 2], "s", 0.5);
    std::printf("%-44s %9.2f s\n", "start-up to shown window, slowest (s)", startups.back());

    TDemoDevices devices;
    if (!devices.Start()) {
        std::fprintf(stderr, "bench: %s\n", qPrintable(devices.Error()));
        return 1;
    }
    BenchMainForm form{QStringList()};
    devices.Aim(form);
    form.show();
    spin(100);
    TConfigPage *page = form.ConfigPage();
    page->IPEdit()->setText(QString::fromStdString(TDemoDevices::Address(TDemoDevices::Ready)));

    double readStall = 0;
    for (int run = 0; run < kFlowRuns; ++run) {
        const double stall = runFlow(form, page->ReadBitBtn());
        if (stall < 0) {
            std::fprintf(stderr, "bench: a read did not end\n");
            return 1;
        }
        readStall = std::max(readStall, stall);
    }
    met &= report("resident memory after reads (MB)", residentMb(), "MB", 60);

    double saveStall = 0;
    for (int run = 0; run < kFlowRuns; ++run) {
        const double stall = runFlow(form, page->WriteBitBtn());
        if (stall < 0) {
            std::fprintf(stderr, "bench: a save did not end\n");
            return 1;
        }
        saveStall = std::max(saveStall, stall);
    }

    // Idle in demo mode counts the simulated devices' threads too; the second figure, with
    // the devices stopped, is the configurator's own.
    met &= report("CPU while idle for 10 s (% of one core)", idleCpuPercent(), "%", 1);
    devices.Stop();
    std::printf("%-44s %9.2f %%\n", "  the same with the simulator stopped", idleCpuPercent());
    met &= report("longest GUI stall during a read (ms)", readStall, "ms", 50);
    met &= report("longest GUI stall during a save (ms)", saveStall, "ms", 50);
    met &= form.unexpectedBoxes == 0;
    return met ? 0 : 1;
}
