// The devices of demo mode: a fleet of simulated devices on loopback addresses, started inside
// the program, that answer the search and serve the configuration port, so that every flow of
// the configurator can be tried without hardware.
//
//   127.0.0.2  a Quillon whose network mode needs the automatic fix
//   127.0.0.3  a Quillon ready to be configured
//   127.0.0.4  a Quillon with old firmware that reports no upload frequency
//   127.0.0.5  a device of another type, which the device list leaves out
//
// The Quillons serve their configuration port on one port number, each on its own address,
// because the configuration wrapper connects to one port whatever the address.
#ifndef QUILLON_APP_TDEMODEVICES_H
#define QUILLON_APP_TDEMODEVICES_H

#include <QString>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace sim {
class Fleet;
} // namespace sim

class TMainForm;

class TDemoDevices {
public:
    enum Device : size_t { NeedsFix = 0, Ready = 1, OldFirmware = 2, OtherType = 3, Count = 4 };

    // The waits of the search (the silence that ends it, the pause after a setup) and of the
    // configuration port (the silence that ends a receive step); loopback answers at once, so
    // they can be short. 0 keeps a library's default.
    struct Timing {
        int32_t searchQuietMs = 500;
        int32_t setupPauseMs = 1500;
        int32_t confQuietMs = 200;
    };

    TDemoDevices();
    ~TDemoDevices();
    TDemoDevices(const TDemoDevices &) = delete;
    TDemoDevices &operator=(const TDemoDevices &) = delete;

    // Starts every device. False, with the reason in Error(), when they cannot be bound.
    bool Start();
    void Stop();
    QString Error() const { return m_error; }

    // Points the window's wrappers at the devices (the search's destinations and timing, the
    // configuration port) and marks its caption. Does nothing before a successful Start().
    void Aim(TMainForm &form, const Timing &timing);
    void Aim(TMainForm &form) { Aim(form, Timing{}); }

    // The loopback address of a device and the configuration port they share.
    static std::string Address(Device device);
    uint16_t ConfPort() const { return m_confPort; }

    sim::Fleet &Fleet() const { return *m_fleet; }

private:
    bool StartOnPort(uint16_t port);

    std::unique_ptr<sim::Fleet> m_fleet;
    uint16_t m_confPort = 0;
    QString m_error;
};

#endif
