#include "cli_output.h"

#include "config_page.h"
#include "tcps_config.h"

#include <QJsonDocument>

#include <algorithm>
#include <cstring>

namespace quillon::cli {

namespace {

template <size_t N>
QString text_of(const char (&field)[N]) {
    return QString::fromUtf8(field, static_cast<qsizetype>(strnlen(field, N)));
}

template <size_t N>
std::string string_of(const char (&field)[N]) {
    return std::string(field, strnlen(field, N));
}

template <size_t N>
QString hex_of(const uint8_t (&bytes)[N]) {
    return QString::fromLatin1(
        QByteArray(reinterpret_cast<const char *>(bytes), static_cast<qsizetype>(N)).toHex());
}

// Visits every field of the device record in its order, with its name.
template <typename Visit>
void for_each_field(const kvquiet_conf_struct &r, Visit visit) {
    visit("top_a", r.top_a);
    visit("firmware", r.firmware);
    visit("top_i", r.top_i);
    visit("top_j", r.top_j);
    visit("top_m", r.top_m);
    visit("top_g", r.top_g);
    visit("top_w", r.top_w);
    visit("top_n", r.top_n);
    visit("top_x", r.top_x);
    visit("top_y", r.top_y);
    visit("top_s", r.top_s);
    visit("top_u", r.top_u);
    visit("top_b", r.top_b);
    visit("top_p", r.top_p);
    visit("top_t", r.top_t);
    visit("top_v", r.top_v);
    visit("top_k", r.top_k);
    visit("top_e", r.top_e);
    visit("amp_b", r.amp_b);
    visit("amp_d", r.amp_d);
    visit("amp_p", r.amp_p);
    visit("amp_s", r.amp_s);
    visit("amp_c", r.amp_c);
    visit("amp_r", r.amp_r);
    visit("amp_t", r.amp_t);
    visit("amp_g", r.amp_g);
    visit("amp_h", r.amp_h);
    visit("amp_v", r.amp_v);
    visit("pct_a", r.pct_a);
    visit("pct_k0", r.pct_k0);
    visit("pct_k1", r.pct_k1);
    visit("pct_k2", r.pct_k2);
    visit("pct_k3", r.pct_k3);
    visit("pct_s", r.pct_s);
    visit("hash_t", r.hash_t);
    visit("hash_a", r.hash_a);
    visit("hash_b", r.hash_b);
    visit("hash_c", r.hash_c);
    visit("hash_d", r.hash_d);
    visit("hash_x", r.hash_x);
    visit("hash_y", r.hash_y);
    visit("hash_z", r.hash_z);
    visit("hash_w", r.hash_w);
    visit("star_l", r.star_l);
    visit("star_p", r.star_p);
    visit("star_s", r.star_s);
    visit("star_m", r.star_m);
    visit("star_x", r.star_x);
    visit("star_y", r.star_y);
    visit("star_e", r.star_e);
    visit("amp_f", r.amp_f);
    visit("star_a", r.star_a);
    visit("star_b", r.star_b);
    visit("star_c", r.star_c);
}

// Puts one device-record field into a JSON object: numbers as numbers, texts as strings.
struct RecordToJson {
    QJsonObject &object;
    void operator()(const char *name, int32_t value) const { object.insert(name, value); }
    void operator()(const char *name, int8_t value) const { object.insert(name, value); }
    template <size_t N>
    void operator()(const char *name, const char (&value)[N]) const {
        object.insert(name, text_of(value));
    }
};

QJsonObject tcps_config_json(const kvgapi::TTcpsConfig &c) {
    QJsonObject o;
    o.insert("firmware", QString::fromStdString(c.firmware));
    o.insert("device_ip", QString::fromStdString(c.device_ip));
    o.insert("param_j", c.param_j);
    o.insert("baudrate", c.baudrate);
    o.insert("databits", c.databits);
    o.insert("parity", c.parity);
    o.insert("handshake", c.handshake);
    o.insert("stopbits", c.stopbits);
    o.insert("server_ip", QString::fromStdString(c.server_ip));
    o.insert("server_port", c.server_port);
    o.insert("upload_period", c.upload_period);
    o.insert("fixed_b", c.fixed_b);
    o.insert("transfer_nvt", c.transfer_nvt);
    o.insert("transfer_kind", c.transfer_kind);
    o.insert("fixed_a1", c.fixed_a1);
    o.insert("fixed_a2", c.fixed_a2);
    o.insert("fixed_a3", c.fixed_a3);
    return o;
}

// The text of a combo's item, or "(none)" for a value no item stands for (the page's combo is
// then left without a selection).
std::string item_text(const std::vector<std::string> &items, int item) {
    if (item < 0 || item >= static_cast<int>(items.size()))
        return "(none)";
    return items[static_cast<size_t>(item)];
}

std::string pad(const std::string &text, size_t width) {
    return text.size() >= width ? text : text + std::string(width - text.size(), ' ');
}

} // namespace

std::string config_text(const HostResult &result) {
    kvgapi::TTcpsConfig config;
    kvgapi::record_to_config(result.record, &config);
    // What the page shows after reading into a fresh page.
    const ShownSettings shown = show_settings(config, ConfigPageState{});
    const ConfigPageState &page = shown.page;
    const std::pair<const char *, std::string> lines[] = {
        {"Baudrate:", item_text(speed_items(), page.speed)},
        {"Datasize:", item_text(databits_items(), page.databits)},
        {"Parity:", item_text(parity_items(), page.parity)},
        {"Stopbits:", item_text(stopbits_items(), page.stopbits)},
        {"Handshake:", item_text(handshake_items(), page.handshake)},
        {"Mode:", item_text(mode_items(), page.mode)},
        {"Downloader PC IP:", page.server_ip},
        {"Port:", page.server_port},
        {"Upload Frequency:", item_text(frequency_items(), page.frequency)},
        {"Firmware:", config.firmware},
    };
    std::string text = "Device " + result.host.text() + "\n";
    for (const auto &[label, value] : lines)
        text += "  " + pad(label, 19) + value + "\n";
    if (shown.unsupported)
        text += "  Device is not supported. Quillon FW 3.1.1 and higher is required!\n";
    return text;
}

QJsonObject config_json(const HostResult &result) {
    QJsonObject object;
    object.insert("host", QString::fromStdString(result.host.text()));
    if (!result.ok) {
        QJsonObject error;
        error.insert("step", QString::fromStdString(result.failure.step));
        error.insert("message", QString::fromStdString(result.failure.message));
        error.insert("code", result.failure.code);
        object.insert("error", error);
        return object;
    }
    kvgapi::TTcpsConfig config;
    kvgapi::record_to_config(result.record, &config);
    QJsonObject device;
    for_each_field(result.record, RecordToJson{device});
    object.insert("config", tcps_config_json(config));
    object.insert("device", device);
    object.insert("mode", mode_item_of(config));
    object.insert("supported", !show_settings(config, ConfigPageState{}).unsupported);
    return object;
}

std::string results_json(const std::vector<HostResult> &results) {
    if (results.size() == 1)
        return QJsonDocument(config_json(results.front())).toJson().toStdString();
    QJsonArray array;
    for (const HostResult &result : results)
        array.append(config_json(result));
    return QJsonDocument(array).toJson().toStdString();
}

bool allows_configuration(const kvudps_module_struct &device) {
    return !needs_mode_fix(device.mode_bit0, device.mode_bit2);
}

std::string devices_text(const std::vector<kvudps_module_struct> &devices) {
    if (devices.empty())
        return "No device found.\n";
    std::vector<std::array<std::string, 6>> rows;
    for (const kvudps_module_struct &d : devices) {
        rows.push_back({string_of(d.ip) + ":" + std::to_string(d.port), string_of(d.mac),
                        string_of(d.type_name), string_of(d.firmware),
                        "\"" + string_of(d.name) + "\"",
                        allows_configuration(d) ? "ok" : "needs fix"});
    }
    std::array<size_t, 6> widths{};
    for (const auto &row : rows) {
        for (size_t i = 0; i < row.size(); ++i)
            widths[i] = std::max(widths[i], row[i].size());
    }
    std::string text;
    for (const auto &row : rows) {
        for (size_t i = 0; i + 1 < row.size(); ++i)
            text += pad(row[i], widths[i]) + "  ";
        text += row.back() + "\n";
    }
    return text;
}

QJsonObject device_json(const kvudps_module_struct &d) {
    QJsonObject o;
    o.insert("port", d.port);
    o.insert("port2", d.port2);
    o.insert("name", text_of(d.name));
    o.insert("ip", text_of(d.ip));
    o.insert("mask", text_of(d.mask));
    o.insert("addr3", text_of(d.addr3));
    o.insert("addr4", text_of(d.addr4));
    o.insert("addr5", text_of(d.addr5));
    o.insert("firmware", text_of(d.firmware));
    o.insert("echo_block", hex_of(d.echo_block));
    o.insert("signature", hex_of(d.signature));
    o.insert("type_name", text_of(d.type_name));
    o.insert("feature3", d.feature3);
    o.insert("feature_value", d.feature_value);
    o.insert("raw_version", d.raw_version);
    o.insert("raw_type", d.raw_type);
    o.insert("feature4", d.feature4);
    o.insert("feature5", d.feature5);
    o.insert("mac", text_of(d.mac));
    o.insert("has_name", d.has_name);
    o.insert("feature2", d.feature2);
    o.insert("mode_bit0", d.mode_bit0);
    o.insert("mode_bit1", d.mode_bit1);
    o.insert("mode_bit2", d.mode_bit2);
    o.insert("mode_bit3", d.mode_bit3);
    o.insert("mode_bit4", d.mode_bit4);
    o.insert("mode_bit5", d.mode_bit5);
    o.insert("fw_major", d.fw_major);
    o.insert("fw_minor", d.fw_minor);
    o.insert("fw_patch", d.fw_patch);
    o.insert("type", d.type);
    o.insert("feature1", d.feature1);
    o.insert("feature0", d.feature0);
    o.insert("raw_mode", d.raw_mode);
    o.insert("raw_spare", d.raw_spare);
    return o;
}

std::string devices_json(const std::vector<kvudps_module_struct> &devices) {
    QJsonArray array;
    for (const kvudps_module_struct &device : devices)
        array.append(device_json(device));
    return QJsonDocument(array).toJson().toStdString();
}

} // namespace quillon::cli
