// A recorder of wrapper events: each event appends its name (and, for failures, its kind and
// code) to a list that the tests compare with the sequence they expect.
#ifndef QUILLON_TEST_WRAPPER_EVENTS_H
#define QUILLON_TEST_WRAPPER_EVENTS_H

#include "TEventArgs.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <string>
#include <vector>

struct EventLog {
    std::vector<std::string> events;

    void add(const std::string &name) { events.push_back(name); }
    void error(const kvgapi::TSdkErrorEventArgs &args) {
        events.push_back("OnError kind " + std::to_string(args.Kind) + " code " +
                         std::to_string(args.Error.Code));
        last_error = args.Error;
    }
    bool has(const std::string &name) const {
        for (const auto &e : events)
            if (e.rfind(name, 0) == 0)
                return true;
        return false;
    }
    // Spins the event loop until an event starting with `name` arrived or `ms` passed.
    bool wait_for(const std::string &name, int ms = 15000) const {
        QElapsedTimer timer;
        timer.start();
        while (!has(name) && timer.elapsed() < ms)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        return has(name);
    }
    // Lets posted events arrive for a while (to see that nothing more comes).
    static void settle(int ms) {
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < ms)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }

    kvgapi::TSdkError last_error;
};

#endif
