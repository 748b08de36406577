// The two programs under test, run as a user runs them: quillon-sim in the background until it
// is told to stop, quillon once per command with its output and exit status captured.
#ifndef QUILLON_TEST_CLI_PROGRAMS_H
#define QUILLON_TEST_CLI_PROGRAMS_H

#include <QJsonDocument>
#include <QProcess>
#include <QStringList>

#include <cstdint>
#include <string>
#include <vector>

namespace clitest {

// One finished run of quillon.
struct Result {
    int status = -1;
    std::string out;
    std::string err;

    // Standard output parsed as JSON (a null document when it is not JSON).
    QJsonDocument json() const;
};

// Runs quillon with `args` and waits for it to end.
Result quillon(const QStringList &args);

// Runs quillon-sim with `args` when it is expected to end by itself (bad usage).
Result sim_once(const QStringList &args);

// A device as quillon-sim announced it.
struct SimDevice {
    QString address; // where its discovery socket listens
    QString config;  // ADDR:PORT of its configuration port
    uint16_t config_port = 0;
    QString discovery; // ADDR:PORT of its discovery socket
    QString mac;
    bool configurable = false;
};

// quillon-sim running in the background. Free ports are taken unless `args` names ports.
class Sim {
public:
    explicit Sim(QStringList args);
    ~Sim(); // stops the program if it still runs

    // True when the program started and listed its devices.
    bool ready() const { return m_ready; }
    const std::vector<SimDevice> &devices() const { return m_devices; }

    // "--target ADDR:PORT" for every device, and a quiet window that keeps searches short.
    QStringList search_args() const;

    // Everything the program printed so far (its change reports included).
    std::string output();

    // Stops the program with SIGTERM; its exit status (0 for a clean stop), or -1.
    int stop();

private:
    QProcess m_process;
    std::string m_output;
    std::vector<SimDevice> m_devices;
    bool m_ready = false;
};

// A loopback port on 127.0.0.1 where nothing listens (a socket was bound there and closed).
uint16_t closed_port();

} // namespace clitest

#endif
