// quillon-sim as a benchmark's device network: started with its devices on free loopback ports,
// with the configuration address ("ip:port") of each device read from what it prints.
#ifndef QUILLON_BENCH_SIM_PROCESS_H
#define QUILLON_BENCH_SIM_PROCESS_H

#include <QProcess>
#include <QRegularExpression>
#include <QStringList>

// Starts `simulator` with `devices` devices and fills `hosts`; true when all of them came up.
inline bool start_sim(QProcess &sim, const QString &simulator, int devices, QStringList *hosts) {
    sim.setProcessChannelMode(QProcess::MergedChannels);
    sim.start(simulator, {"--devices", QString::number(devices), "--config-port", "0",
                          "--discovery-port", "0"});
    static const QRegularExpression config(QStringLiteral(": config ([0-9.]+:\\d+),"));
    QByteArray text;
    while (!text.contains("ready:") && sim.waitForReadyRead(10000))
        text += sim.readAll();
    for (const QByteArray &line : text.split('\n')) {
        const QRegularExpressionMatch match = config.match(QString::fromUtf8(line));
        if (match.hasMatch())
            hosts->append(match.captured(1));
    }
    return hosts->size() == devices;
}

#endif
