#include "tcps_config.h"

#include <cstring>

namespace kvgapi {

namespace {

// Copies a text into a device-record field, cut to `limit` characters and to the field.
template <size_t N>
void put_text(char (&field)[N], const std::string &text, size_t limit) {
    size_t n = text.size();
    if (n > limit)
        n = limit;
    if (n > N - 1)
        n = N - 1;
    std::memcpy(field, text.data(), n);
    field[n] = '\0';
}

template <size_t N>
std::string get_text(const char (&field)[N]) {
    return std::string(field, strnlen(field, N));
}

// An offset field travels as the unset byte when it is -1, else as value + offset.
int8_t put_offset(int32_t value, int32_t offset) {
    if (value == -1)
        return -1;
    return static_cast<int8_t>(static_cast<uint8_t>((value + offset) & 0xFF));
}

constexpr size_t kAddressTextMax = 15;

} // namespace

void config_to_record(const TTcpsConfig &config, kvquiet_conf_struct *record) {
    // A fresh record: clearing leaves the firmware text as it was, so start from zeros.
    *record = kvquiet_conf_struct{};
    kvquiet_conf_clr(record);
    if (!config.device_ip.empty())
        put_text(record->top_i, config.device_ip, kAddressTextMax);
    record->top_j = config.param_j;
    record->amp_b = config.baudrate;
    record->amp_d = put_offset(config.databits, 7);
    record->amp_p = put_offset(config.parity, 1);
    record->amp_c = put_offset(config.handshake, 1);
    record->amp_s = put_offset(config.stopbits, 1);
    if (!config.server_ip.empty())
        put_text(record->top_s, config.server_ip, kAddressTextMax);
    record->top_u = config.server_port;
    record->top_p = config.upload_period;
    record->top_b = config.fixed_b;
    record->top_v = put_offset(config.transfer_nvt, 0);
    record->amp_f = put_offset(config.transfer_kind, 0);
    record->star_a = config.fixed_a1;
    record->star_b = config.fixed_a2;
    record->star_c = config.fixed_a3;
}

void record_to_config(const kvquiet_conf_struct &record, TTcpsConfig *config) {
    config->firmware = get_text(record.firmware);
    config->device_ip = get_text(record.top_i);
    config->param_j = record.top_j;
    config->baudrate = record.amp_b;
    config->databits = record.amp_d - 7;
    config->parity = record.amp_p - 1;
    config->handshake = record.amp_c - 1;
    config->stopbits = record.amp_s - 1;
    config->server_ip = get_text(record.top_s);
    config->server_port = record.top_u;
    config->upload_period = record.top_p;
    config->fixed_b = record.top_b;
    config->transfer_nvt = record.top_v;
    config->transfer_kind = record.amp_f;
    config->fixed_a1 = record.star_a;
    config->fixed_a2 = record.star_b;
    config->fixed_a3 = record.star_c;
}

int key_text_to_words(const std::string &text, std::array<uint32_t, 4> *words) {
    // Only the first 35 characters are looked at, as the text is copied into a 35-character
    // field first; anything shorter or with misplaced separators is refused.
    const std::string key = text.substr(0, 35);
    if (key.empty()) {
        *words = {0, 0, 0, 0};
        return 0;
    }
    if (key.size() != 35 || key[8] != ':' || key[17] != ':' || key[26] != ':')
        return -3;
    std::array<uint32_t, 4> result{};
    for (size_t group = 0; group < 4; ++group) {
        uint32_t value = 0;
        for (size_t i = group * 9; i < group * 9 + 8; ++i) {
            const char c = key[i];
            uint32_t digit = 0;
            if (c >= '0' && c <= '9')
                digit = static_cast<uint32_t>(c - '0');
            else if (c >= 'a' && c <= 'f')
                digit = static_cast<uint32_t>(c - 'a' + 10);
            else if (c >= 'A' && c <= 'F')
                digit = static_cast<uint32_t>(c - 'A' + 10);
            else
                break; // the number ends at the first character that is not a hex digit
            value = (value << 4) | digit;
        }
        result[group] = value;
    }
    *words = result;
    return 0;
}

} // namespace kvgapi
