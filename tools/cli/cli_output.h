// How the commands print their results: the configuration of a device as the configuration
// page shows it, and a found device, each as text and as JSON.
#ifndef QUILLON_CLI_OUTPUT_H
#define QUILLON_CLI_OUTPUT_H

#include "cli_args.h"
#include "cli_failure.h"
#include "kvquiet_conf_struct.h"
#include "kvudps.h"

#include <QJsonArray>
#include <QJsonObject>

#include <string>
#include <vector>

namespace quillon::cli {

// The outcome of a read or a write for one device.
struct HostResult {
    Endpoint host;
    bool ok = false;
    kvquiet_conf_struct record{}; // the configuration read (or read back), when ok
    Failure failure;              // what failed, when not ok
};

// The configuration of a successful result as the page shows it: one "Label: item text" line
// per control, the firmware, and a plain note when the device is not supported.
std::string config_text(const HostResult &result);

// The JSON object of a result: "host", then "config", "device", "mode" and "supported", or
// "error" for a failed one.
QJsonObject config_json(const HostResult &result);

// The results of a read or write in JSON: the object of a single host, else an array.
std::string results_json(const std::vector<HostResult> &results);

// True when the device's network mode allows configuration (no fix needed).
bool allows_configuration(const kvudps_module_struct &device);

// Found devices as aligned text lines: ip:port, hardware address, type name, firmware, name,
// and "ok" or "needs fix".
std::string devices_text(const std::vector<kvudps_module_struct> &devices);

// A found device as JSON, keyed by the record's field names.
QJsonObject device_json(const kvudps_module_struct &device);

// Found devices as a JSON array.
std::string devices_json(const std::vector<kvudps_module_struct> &devices);

} // namespace quillon::cli

#endif
