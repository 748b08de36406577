// TEA encryption and the chaining helpers built on it.
#include "kvquiet_tea.h"

namespace {

constexpr int tea_cycles = 32;

uint32_t load_be32(const uint8_t *b) {
    return (uint32_t{b[0]} << 24) | (uint32_t{b[1]} << 16) | (uint32_t{b[2]} << 8) | uint32_t{b[3]};
}

void store_be32(uint32_t v, uint8_t *b) {
    b[0] = static_cast<uint8_t>(v >> 24);
    b[1] = static_cast<uint8_t>(v >> 16);
    b[2] = static_cast<uint8_t>(v >> 8);
    b[3] = static_cast<uint8_t>(v);
}

} // namespace

void kvquiet_tea_key_set(kvquiet_tea_key *key, uint32_t k0, uint32_t k1, uint32_t k2, uint32_t k3) {
    key->k[0] = k0;
    key->k[1] = k1;
    key->k[2] = k2;
    key->k[3] = k3;
    key->delta = KVQUIET_TEA_DELTA;
}

void kvquiet_tea_encrypt(kvquiet_tea_state *state, const kvquiet_tea_key *key) {
    // Unsigned arithmetic wraps modulo 2^32 and shifts right logically, as TEA requires.
    uint32_t v0 = state->w[0];
    uint32_t v1 = state->w[1];
    uint32_t sum = 0;
    for (int i = 0; i < tea_cycles; ++i) {
        sum += key->delta;
        v0 += ((v1 << 4) + key->k[0]) ^ (v1 + sum) ^ ((v1 >> 5) + key->k[1]);
        v1 += ((v0 << 4) + key->k[2]) ^ (v0 + sum) ^ ((v0 >> 5) + key->k[3]);
    }
    state->w[0] = v0;
    state->w[1] = v1;
}

void kvquiet_tea_xor(kvquiet_tea_state *state, const uint8_t block[8]) {
    state->w[0] ^= load_be32(block);
    state->w[1] ^= load_be32(block + 4);
}

void kvquiet_tea_chain(kvquiet_tea_state *state, const uint8_t block[8],
                       const kvquiet_tea_key *key) {
    kvquiet_tea_xor(state, block);
    kvquiet_tea_encrypt(state, key);
}

void kvquiet_tea_store(const kvquiet_tea_state *state, uint8_t bytes[8]) {
    store_be32(state->w[0], bytes);
    store_be32(state->w[1], bytes + 4);
}
