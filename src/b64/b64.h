/*
 * Base64 codec (standard alphabet "A-Z a-z 0-9 + /", "=" as fill character) over
 * caller-supplied buffers. The configuration client uses it for its authorization exchange:
 * a 9-byte block travels as 12 characters.
 *
 * Every operation works on explicit lengths: the encoder never writes a terminating zero and
 * the decoder never looks for one. The module has no state; every function may be called from
 * any thread at any time.
 *
 * Result codes, written through an optional pointer (a null pointer means the caller does not
 * want the code):
 *   B64_RC_OK                  success;
 *   B64_RC_INSUFFICIENT_BUFFER the destination is too small (or the output could not be counted
 *                              in 32 bits); the result is 0 and nothing was written;
 *   B64_RC_BAD_ARGUMENT        a broken precondition: an unknown line-length choice, a line
 *                              length that is not a multiple of 4, or a null source with a
 *                              non-zero length; the result is 0 and nothing was written. Calls
 *                              that meet the preconditions never produce it;
 *   B64_RC_DATA_ERROR          decoding met a character rejected by a stop flag; the result
 *                              is 0, and bytes of groups before it may already be written.
 */
#ifndef B64_H
#define B64_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Encoding flags: the low four bits choose the line length. */
#define B64_F_LINE_LEN_USE_PARAM 0u /* the line_len argument; negative means 64, 0 no breaks */
#define B64_F_LINE_LEN_INFINITE 1u  /* one line, no breaks */
#define B64_F_LINE_LEN_64 2u        /* lines of 64 characters */
#define B64_F_LINE_LEN_76 3u        /* lines of 76 characters */
#define B64_F_LINE_LEN_MASK 0x0Fu

/* Decoding flags. CR and LF are always skipped. Without a flag, the characters it names are
 * skipped too. */
/* Reject any character that is not in the alphabet, "=", blank-like or a line end. */
#define B64_F_STOP_ON_UNKNOWN_CHAR 256u
/* Reject the blank-like characters space, tab, backspace and vertical tab. */
#define B64_F_STOP_ON_BAD_WHITESPACE 512u

#define B64_RC_OK 0
#define B64_RC_INSUFFICIENT_BUFFER 1
#define B64_RC_BAD_ARGUMENT 2
#define B64_RC_DATA_ERROR 3

/* The 64 alphabet characters in value order (value 0 is 'A', 63 is '/'), zero-terminated. */
extern const char b64_chars[65];

/* Character code to 6-bit value; 255 for every code outside the alphabet (including '='). */
extern const uint8_t b64_char_values[256];

/*
 * Encodes src_size bytes of src as one line of base64 text into dest.
 * Returns the number of characters, 4 for every started group of 3 bytes. With a null dest
 * it only returns that count and writes nothing. Returns 0 when dest_len is below the count
 * or src is null with a non-zero size (nothing is written then).
 */
uint32_t b64_encode_flat(const void *src, uint32_t src_size, char *dest, uint32_t dest_len);

/*
 * Encodes src_size bytes of src into dest, breaking the text into lines ended by CR LF.
 * flags & B64_F_LINE_LEN_MASK chooses the line length (see B64_F_LINE_LEN_*); with
 * B64_F_LINE_LEN_USE_PARAM, line_len gives it: a negative value means 64, 0 means no breaks,
 * and a positive value must be a multiple of 4. CR LF separates lines; the text never ends
 * with one.
 * Returns the number of characters including the line breaks; with a null dest only that
 * count (nothing written). Records in *rc (rc may be null): B64_RC_OK; B64_RC_INSUFFICIENT_BUFFER
 * when dest_len is below the count (result 0); B64_RC_BAD_ARGUMENT for a line-length choice
 * above 3, a line length that is not a multiple of 4, or a null src with a non-zero size
 * (result 0).
 */
uint32_t b64_encode2(const void *src, uint32_t src_size, char *dest, uint32_t dest_len,
                     uint32_t flags, int32_t line_len, int32_t *rc);

/*
 * Decodes src_len characters of base64 text into dest, skipping every character that is not
 * part of the alphabet or "=". Same as b64_decode_flags with flags 0.
 * Returns the number of bytes written; with a null dest, the most the text can yield
 * (3 for every started group of 4 characters). Returns 0 when dest_size is below that maximum.
 */
uint32_t b64_decode_lenient(const char *src, uint32_t src_len, void *dest, uint32_t dest_size);

/*
 * Decodes src_len characters of base64 text into dest.
 * The destination must hold the maximum, 3 bytes for every started group of 4 characters,
 * even when line ends or other skipped characters make the real output smaller.
 * Every 4 values (alphabet characters, or "=" counting as value 0) give 3 bytes; a group that
 * ends in "=" or "==" gives 2 or 1 bytes and ends the decoding: the characters after it are
 * not read. A group that ends in three or four "=" ("A===", "====") carries no whole byte: it
 * gives nothing and also ends the decoding. Values left over at the end that do not fill a
 * group of 4 are dropped. CR and LF are always skipped. Space, tab, backspace and vertical tab
 * are skipped, or rejected with B64_F_STOP_ON_BAD_WHITESPACE; any other character is skipped,
 * or rejected with B64_F_STOP_ON_UNKNOWN_CHAR.
 * Returns the number of bytes written; with a null dest, the maximum (nothing written).
 * Records in *rc (rc may be null): B64_RC_OK; B64_RC_INSUFFICIENT_BUFFER when dest_size is
 * below the maximum (result 0, nothing written); B64_RC_DATA_ERROR for a rejected character
 * (result 0; *bad_char points at it, earlier groups may be written already); B64_RC_BAD_ARGUMENT
 * for a null src with a non-zero length (result 0). *bad_char (bad_char may be null) is null
 * unless a character was rejected.
 */
uint32_t b64_decode_flags(const char *src, uint32_t src_len, void *dest, uint32_t dest_size,
                          uint32_t flags, const char **bad_char, int32_t *rc);

#ifdef __cplusplus
}
#endif

#endif /* B64_H */
