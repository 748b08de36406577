// The TEA challenge and answer that a device may ask for right after the connection is made.
//
// The device sends 12 base64 characters carrying 9 bytes that add up to 0 modulo 256. The
// answer is the TEA encryption (zero state, one chain step) of the first 8 bytes under the
// shared key, followed by a byte that again makes the sum 0, sent as 12 base64 characters
// without a line end. A device that refuses the answer sends a new challenge instead of its
// greeting.
#include "kvquiet_conf_internal.h"

#include "b64.h"
#include "kvquiet_tea.h"

#include <cstring>

namespace kvquiet_conf_detail {

namespace {

constexpr size_t challenge_chars = 12;
constexpr size_t challenge_bytes = 9;

// The byte that makes the sum of the first eight and itself 0 modulo 256.
uint8_t fix_byte(const uint8_t *bytes) {
    uint32_t sum = 0;
    for (size_t i = 0; i < 8; ++i)
        sum += bytes[i];
    return static_cast<uint8_t>((256U - (sum & 0xFFU)) & 0xFFU);
}

} // namespace

int kvquiet_tea_answer(const char *challenge, size_t length, const uint32_t key[4],
                       char answer[12]) {
    uint8_t bytes[challenge_bytes] = {};
    const size_t used = length < challenge_chars ? length : challenge_chars;
    b64_decode_lenient(challenge, static_cast<uint32_t>(used), bytes, sizeof bytes);
    uint32_t sum = 0;
    for (const uint8_t b : bytes)
        sum += b;
    if ((sum & 0xFFU) != 0)
        return -1;
    kvquiet_tea_key tea_key;
    kvquiet_tea_key_set(&tea_key, key[0], key[1], key[2], key[3]);
    kvquiet_tea_state state = {{0, 0}};
    kvquiet_tea_chain(&state, bytes, &tea_key);
    kvquiet_tea_store(&state, bytes);
    bytes[8] = fix_byte(bytes);
    b64_encode_flat(bytes, sizeof bytes, answer, static_cast<uint32_t>(challenge_chars));
    return 0;
}

int kvquiet_tea_authorize(conf_job &job) {
    int r = kvquiet_wait_reply(job);
    if (r == abandoned)
        return r;
    if (r != 0) {
        // No challenge in time is an authorization failure; a broken connection keeps its code.
        if (job.code == KV_ERR_TIMEOUT)
            kvquiet_job_error(job, KV_ERR_TEA_AUTH);
        return -1;
    }
    char answer[challenge_chars];
    if (kvquiet_tea_answer(job.reply, std::strlen(job.reply), job.settings.key, answer) != 0) {
        kvquiet_job_error(job, KV_ERR_CHECKSUM);
        return -1;
    }
    return kvquiet_send(job, answer, sizeof answer);
}

} // namespace kvquiet_conf_detail
