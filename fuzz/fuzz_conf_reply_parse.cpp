// Fuzz target for the configuration reply parser. The input bytes, cut at the first zero byte
// and copied to an exactly sized buffer (so a read past the terminator trips the address
// sanitizer), are parsed into a cleared record. Checked: a rejected reply leaves the record
// untouched, every text field stays terminated within its capacity, every command built from
// the result fits its documented room and ends with "\r", and the built commands read back
// into the same record (up to the way a key command also fills the keys after it).
#include "kvquiet_conf_struct.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

void check(bool ok) {
    if (!ok) {
        std::abort();
    }
}

kvquiet_conf_struct cleared() {
    kvquiet_conf_struct c;
    std::memset(&c, 0, sizeof c);
    kvquiet_conf_clr(&c);
    return c;
}

void check_terminated(const char *field, size_t capacity) {
    check(std::memchr(field, '\0', capacity) != nullptr);
}

void check_texts(const kvquiet_conf_struct &c) {
    check_terminated(c.firmware, sizeof c.firmware);
    for (const char *t : {c.top_i, c.top_m, c.top_g, c.top_w, c.top_n, c.top_s, c.pct_k0, c.pct_k1,
                          c.pct_k2, c.pct_k3, c.star_s, c.star_m, c.star_x, c.star_y}) {
        check_terminated(t, KVQUIET_CONF_TEXT_CAP);
    }
    check_terminated(c.top_y, sizeof c.top_y);
}

// Builds every command into an exactly sized heap buffer and joins them, without their
// carriage returns, into a reply line the parser accepts.
std::string rebuild(const kvquiet_conf_struct &c) {
    std::string reply = "FUZZ WEB51=";
    for (int32_t i = 0; i < KVQUIET_CONF_CMD_COUNT; ++i) {
        std::vector<char> out(KVQUIET_CONF_CMD_MAX);
        if (kvquiet_conf_cmd_build(&c, out.data(), i) != 0) {
            check(out[0] == '\0');
            continue;
        }
        const size_t len = std::strlen(out.data());
        check(len >= 3 && len < KVQUIET_CONF_CMD_MAX && out[len - 1] == '\r');
        reply += ';';
        reply.append(out.data(), len - 1);
    }
    return reply;
}

// What reading the rebuilt commands gives: the same record, except that a key command also
// fills the keys after it, so an empty key behind a set one takes that key's text.
kvquiet_conf_struct expected_read_back(const kvquiet_conf_struct &c) {
    kvquiet_conf_struct e = c;
    char *keys[] = {e.pct_k0, e.pct_k1, e.pct_k2, e.pct_k3};
    for (size_t i = 1; i < 4; ++i) {
        if (keys[i][0] == '\0') {
            std::memcpy(keys[i], keys[i - 1], KVQUIET_CONF_TEXT_CAP);
        }
    }
    return e;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const auto *bytes = reinterpret_cast<const char *>(data);
    const size_t len = strnlen(bytes, size);
    std::vector<char> text(bytes, bytes + len);
    text.push_back('\0');

    kvquiet_conf_struct c = cleared();
    std::strcpy(c.firmware, "before");
    const kvquiet_conf_struct before = c;
    const int rc = kvquiet_conf_reply_parse(text.data(), &c);
    check(rc == 0 || rc == -1);
    if (rc != 0) {
        check(std::memcmp(&c, &before, sizeof c) == 0);
        return 0;
    }
    check_texts(c);

    const std::string reply = rebuild(c);
    kvquiet_conf_struct back = cleared();
    check(kvquiet_conf_reply_parse(reply.c_str(), &back) == 0);
    std::memcpy(back.firmware, c.firmware, sizeof back.firmware);
    const kvquiet_conf_struct expected = expected_read_back(c);
    check(std::memcmp(&back, &expected, sizeof c) == 0);
    return 0;
}
