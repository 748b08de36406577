#include "cli_programs.h"

#include "kv_socket.h"

#include <QRegularExpression>

namespace clitest {

namespace {

// Any run of quillon against the simulator ends well within this; a hang fails the test.
constexpr int kRunLimitMs = 60000;
constexpr int kStartLimitMs = 10000;

Result run_program(const QString &program, const QStringList &args) {
    QProcess process;
    process.start(program, args);
    Result run;
    if (!process.waitForStarted() || !process.waitForFinished(kRunLimitMs)) {
        process.kill();
        process.waitForFinished();
        run.err = program.toStdString() + " did not finish";
        return run;
    }
    run.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = process.readAllStandardOutput().toStdString();
    run.err = process.readAllStandardError().toStdString();
    return run;
}

} // namespace

QJsonDocument Result::json() const {
    return QJsonDocument::fromJson(QByteArray::fromStdString(out));
}

Result quillon(const QStringList &args) {
    return run_program(QStringLiteral(QUILLON_EXE), args);
}

Result sim_once(const QStringList &args) {
    return run_program(QStringLiteral(QUILLON_SIM_EXE), args);
}

Sim::Sim(QStringList args) {
    if (!args.contains(QStringLiteral("--config-port")))
        args << QStringLiteral("--config-port") << QStringLiteral("0");
    if (!args.contains(QStringLiteral("--discovery-port")))
        args << QStringLiteral("--discovery-port") << QStringLiteral("0");
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.start(QStringLiteral(QUILLON_SIM_EXE), args);
    if (!m_process.waitForStarted())
        return;
    // "device 1 at 127.0.0.2: config 127.0.0.2:4711, discovery 127.0.0.2:4712, mac ..., mode ok"
    static const QRegularExpression line(
        QStringLiteral("^device \\d+ at ([0-9.]+): config ([0-9.]+:(\\d+)), discovery "
                       "([0-9.]+:\\d+), mac ([0-9A-F:]+), .*mode (ok|needs fix)$"));
    QByteArray pending;
    while (!m_ready && m_process.waitForReadyRead(kStartLimitMs)) {
        pending += m_process.readAll();
        qsizetype end = 0;
        while ((end = pending.indexOf('\n')) >= 0) {
            const QString text = QString::fromUtf8(pending.left(end));
            m_output += text.toStdString() + "\n";
            pending.remove(0, end + 1);
            if (text.startsWith(QStringLiteral("ready:")))
                m_ready = true;
            const QRegularExpressionMatch match = line.match(text);
            if (match.hasMatch()) {
                SimDevice device;
                device.address = match.captured(1);
                device.config = match.captured(2);
                device.config_port = static_cast<uint16_t>(match.captured(3).toUInt());
                device.discovery = match.captured(4);
                device.mac = match.captured(5);
                device.configurable = match.captured(6) == QStringLiteral("ok");
                m_devices.push_back(device);
            }
        }
    }
}

Sim::~Sim() {
    stop();
}

QStringList Sim::search_args() const {
    QStringList args;
    for (const SimDevice &device : m_devices)
        args << QStringLiteral("--target") << device.discovery;
    args << QStringLiteral("--quiet-ms") << QStringLiteral("100");
    return args;
}

std::string Sim::output() {
    m_process.waitForReadyRead(100);
    m_output += m_process.readAll().toStdString();
    return m_output;
}

int Sim::stop() {
    if (m_process.state() == QProcess::NotRunning)
        return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
    m_process.terminate(); // SIGTERM
    if (!m_process.waitForFinished(kStartLimitMs)) {
        m_process.kill();
        m_process.waitForFinished();
        return -1;
    }
    m_output += m_process.readAll().toStdString();
    return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
}

uint16_t closed_port() {
    uint32_t address = 0;
    kv_inet_parse("127.0.0.1", &address);
    const kv_socket_t socket = kv_socket_tcp();
    uint16_t port = 0;
    kv_socket_bind(socket, address, 0);
    kv_socket_local(socket, nullptr, &port);
    kv_socket_close(socket);
    return port;
}

} // namespace clitest
