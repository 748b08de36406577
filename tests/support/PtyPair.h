// A pseudo-terminal pair in place of the null-modem cable: the program under test opens the slave
// end by its path, the test reads (and may write) the master end. The test keeps the slave open
// too, so what was sent stays readable after the program has closed its side.
#ifndef QUILLON_TEST_PTYPAIR_H
#define QUILLON_TEST_PTYPAIR_H

#include <QByteArray>
#include <QString>

#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

class PtyPair {
public:
    PtyPair() {
        char name[256] = {};
        if (::openpty(&m_master, &m_slave, name, nullptr, nullptr) == 0)
            m_path = QString::fromLocal8Bit(name);
    }
    ~PtyPair() {
        if (m_master >= 0)
            ::close(m_master);
        if (m_slave >= 0)
            ::close(m_slave);
    }
    PtyPair(const PtyPair &) = delete;
    PtyPair &operator=(const PtyPair &) = delete;

    bool ok() const { return !m_path.isEmpty(); }
    QString slavePath() const { return m_path; }

    // Reads until `count` bytes have come or `timeoutMs` has passed with nothing new.
    QByteArray read(qsizetype count, int timeoutMs = 5000) {
        QByteArray data;
        while (data.size() < count) {
            pollfd fd{m_master, POLLIN, 0};
            if (::poll(&fd, 1, timeoutMs) <= 0)
                break;
            char buf[4096];
            const ssize_t n = ::read(m_master, buf, sizeof buf);
            if (n <= 0)
                break;
            data.append(buf, static_cast<qsizetype>(n));
        }
        return data;
    }

    // Whatever arrives within `waitMs` of quiet.
    QByteArray drain(int waitMs) { return read(1 << 20, waitMs); }

    // Sends one byte from the far end (XON, XOFF...). Returns false when it could not.
    bool send(char c) { return ::write(m_master, &c, 1) == 1; }

    // The line settings the program opened the port with (both ends share one termios).
    termios settings() const {
        termios t{};
        ::tcgetattr(m_master, &t);
        return t;
    }

private:
    int m_master = -1;
    int m_slave = -1;
    QString m_path;
};

#endif
