// quillon-sim: runs a fleet of simulated devices until interrupted and tells where each listens.
#include "sim_program_options.h"

#include "kv_thread.h"

#include <QCoreApplication>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <mutex>

namespace {

// Set by the signal handler, read by the main loop; a lock-free atomic is safe in a handler.
std::atomic<bool> g_stop{false};
// Serialises the lines that the devices' threads and the main thread print. Guarded by itself.
std::mutex g_print_mutex;

extern "C" void on_signal(int) {
    g_stop.store(true);
}

void print_line(const std::string &line) {
    const std::lock_guard<std::mutex> lock(g_print_mutex);
    std::fputs(line.c_str(), stdout);
    std::fflush(stdout);
}

std::string describe(size_t index, const sim::FleetDeviceInfo &d) {
    std::string line = "device " + std::to_string(index + 1) + " at " + d.address + ": ";
    if (d.config_port != 0)
        line += "config " + d.ip + ":" + std::to_string(d.config_port) + ", ";
    else
        line += "web " + d.ip + ":" + std::to_string(d.service_port) + ", ";
    line += "discovery " + d.address + ":" + std::to_string(d.discovery_port) + ", mac " + d.mac +
            ", type " + std::to_string(d.type) + ", firmware " + d.firmware + ", mode " +
            (d.configurable ? "ok" : "needs fix") + "\n";
    return line;
}

} // namespace

int main(int argc, char *argv[]) {
    QCoreApplication app(argc, argv);
    quillon::simprog::Program program;
    try {
        program = quillon::simprog::parse_program(QCoreApplication::arguments());
    } catch (const quillon::simprog::InfoRequested &info) {
        std::fputs(info.text.c_str(), stdout);
        return 0;
    } catch (const quillon::simprog::UsageError &error) {
        std::fprintf(stderr, "quillon-sim: %s\nTry 'quillon-sim --help'.\n", error.what());
        return 2;
    }

    std::signal(SIGINT, on_signal);
    std::signal(SIGTERM, on_signal);

    sim::Fleet fleet(program.fleet);
    for (const sim::FleetDeviceOptions &device : program.devices)
        fleet.add(device);
    fleet.set_on_change(
        [&fleet](size_t index) { print_line("changed " + describe(index, fleet.info(index))); });
    if (!fleet.start()) {
        std::fprintf(stderr,
                     "quillon-sim: cannot start the devices: %s\n"
                     "(ports below 1024 need root, and another program may hold the port: "
                     "--config-port 0 and --discovery-port 0 take free ports)\n",
                     fleet.last_error().c_str());
        return 1;
    }
    const auto devices = fleet.devices();
    for (size_t i = 0; i < devices.size(); ++i)
        print_line(describe(i, devices[i]));
    print_line("ready: " + std::to_string(devices.size()) +
               " device(s); search them with --target ADDR:PORT (the discovery addresses "
               "above); stop with Ctrl+C\n");

    while (!g_stop.load())
        kv_sleep_ms(100);
    fleet.stop();
    print_line("stopped\n");
    return 0;
}
