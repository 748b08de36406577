// The simulated device's configuration protocol: factory record, configuration line, command
// application and TEA challenge.
#include "sim_conf_device.h"

#include "b64.h"
#include "kvquiet_tea.h"

#include <cstring>

namespace sim {

namespace {

void set_text(char *field, size_t capacity, const char *text) {
    std::memset(field, 0, capacity);
    std::strncpy(field, text, capacity - 1);
}

// The same small generator on every platform, so a seed gives the same challenges everywhere.
uint32_t next_random(uint32_t &state) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
}

} // namespace

kvquiet_conf_struct conf_factory_config() {
    kvquiet_conf_struct c;
    std::memset(&c, 0, sizeof c);
    kvquiet_conf_clr(&c);
    c.amp_b = 9600;
    c.amp_d = 8;
    c.amp_p = 1; // no parity
    c.amp_s = 1;
    c.amp_c = 1; // no handshake
    c.top_v = 1; // NVT ...
    c.amp_f = 1; // ... mode
    set_text(c.top_s, sizeof c.top_s, "0.0.0.0");
    c.top_p = 273; // hourly
    c.top_b = 42;
    c.star_a = 255;
    c.star_b = 255;
    c.star_c = 131072;
    return c;
}

std::string conf_line(const kvquiet_conf_struct &config, const std::string &firmware) {
    std::string line = "QLN WEB51=" + firmware.substr(0, KVQUIET_CONF_FIRMWARE_CAP - 1);
    char command[KVQUIET_CONF_CMD_MAX];
    for (int32_t i = 0; i < KVQUIET_CONF_CMD_COUNT; ++i) {
        if (kvquiet_conf_cmd_build(&config, command, i) != 0)
            continue;
        const size_t length = std::strlen(command);
        line += ';';
        line.append(command, length > 0 ? length - 1 : 0); // without its "\r"
    }
    line += "\r\n";
    return line;
}

void conf_apply_command(kvquiet_conf_struct &config, const std::string &command) {
    if (command.size() >= 3 && command[0] == '%' && command[1] == 'K' && command[2] >= '0' &&
        command[2] <= '3') {
        // Writing one key sets that key alone, unlike the cascade of a configuration line.
        char *keys[4] = {config.pct_k0, config.pct_k1, config.pct_k2, config.pct_k3};
        const std::string value = command.size() > 4 ? command.substr(4) : std::string();
        set_text(keys[command[2] - '0'], KVQUIET_CONF_TEXT_CAP, value.c_str());
        return;
    }
    // Otherwise a command reads exactly like one piece of a configuration line. The first piece
    // carries the marker and nothing after its "=" from the seventh character, so the firmware
    // stays as it is.
    const std::string line = "WEB51=;" + command;
    kvquiet_conf_reply_parse(line.c_str(), &config);
}

ConfChallenge conf_make_challenge(const std::array<uint32_t, 4> &key, uint32_t seed,
                                  bool bad_checksum) {
    uint32_t state = seed != 0 ? seed : 0x2545F491U;
    uint8_t bytes[9];
    uint32_t sum = 0;
    for (size_t i = 0; i < 8; ++i) {
        bytes[i] = static_cast<uint8_t>(next_random(state) >> 24);
        sum += bytes[i];
    }
    bytes[8] = static_cast<uint8_t>((256U - (sum & 0xFFU) + (bad_checksum ? 1U : 0U)) & 0xFFU);
    ConfChallenge challenge;
    char text[12];
    b64_encode_flat(bytes, sizeof bytes, text, sizeof text);
    challenge.text.assign(text, sizeof text);

    // The answer: one TEA chain step of the first 8 bytes from a zero state, stored back, and a
    // ninth byte that makes the sum 0 again.
    kvquiet_tea_key tea_key;
    kvquiet_tea_key_set(&tea_key, key[0], key[1], key[2], key[3]);
    kvquiet_tea_state tea_state = {{0, 0}};
    kvquiet_tea_chain(&tea_state, bytes, &tea_key);
    uint8_t answer[9];
    kvquiet_tea_store(&tea_state, answer);
    uint32_t answer_sum = 0;
    for (size_t i = 0; i < 8; ++i)
        answer_sum += answer[i];
    answer[8] = static_cast<uint8_t>((256U - (answer_sum & 0xFFU)) & 0xFFU);
    b64_encode_flat(answer, sizeof answer, text, sizeof text);
    challenge.answer.assign(text, sizeof text);
    return challenge;
}

} // namespace sim
