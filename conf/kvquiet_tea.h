/* TEA block cipher (Wheeler and Needham, 1994) and its chaining step.
 *
 * The configuration challenge answer and the discovery signatures use these routines. Only
 * encryption is needed anywhere. A block of 8 bytes maps to the state words big-endian:
 * w[0] from bytes 0 to 3 and w[1] from bytes 4 to 7, most significant byte first.
 * All functions are pure computations on caller-owned structs: callable from any thread, no
 * error codes. */
#ifndef KVQUIET_TEA_H
#define KVQUIET_TEA_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The standard TEA key schedule constant. */
#define KVQUIET_TEA_DELTA 0x9E3779B9U

typedef struct kvquiet_tea_key {
    uint32_t k[4];  /* key words k0 to k3 */
    uint32_t delta; /* round constant, KVQUIET_TEA_DELTA */
} kvquiet_tea_key;

typedef struct kvquiet_tea_state {
    uint32_t w[2]; /* the 64-bit block as two words */
} kvquiet_tea_state;

/* Fills key with the four key words and the standard delta. */
void kvquiet_tea_key_set(kvquiet_tea_key *key, uint32_t k0, uint32_t k1, uint32_t k2, uint32_t k3);

/* Encrypts the state in place: 32 TEA cycles under key. */
void kvquiet_tea_encrypt(kvquiet_tea_state *state, const kvquiet_tea_key *key);

/* One chaining step: exclusive-ors the block's big-endian words into the state, then
 * encrypts it. Chaining the blocks of a message from a zero state gives its chained value. */
void kvquiet_tea_chain(kvquiet_tea_state *state, const uint8_t block[8],
                       const kvquiet_tea_key *key);

/* Exclusive-ors the block's big-endian words into the state without encrypting; the state
 * becomes zero exactly when it equalled the block. */
void kvquiet_tea_xor(kvquiet_tea_state *state, const uint8_t block[8]);

/* Writes the state as 8 bytes, w[0] then w[1], each most significant byte first. */
void kvquiet_tea_store(const kvquiet_tea_state *state, uint8_t bytes[8]);

#ifdef __cplusplus
}
#endif

#endif /* KVQUIET_TEA_H */
