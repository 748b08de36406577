/* Device configuration record and the text commands that write it.
 *
 * The device keeps its configuration as short text commands: a command letter, or a group
 * character ("&", "%", "#", "*") and a letter, followed by a value. kvquiet_conf_struct holds
 * the same configuration as one flat record with one field per command. Callers own the
 * record and pass it by address; the library copies it whole and never keeps the pointer.
 *
 * Unset values: -1 for the 32-bit numbers, -1 (the byte 255) for the 8-bit numbers and the
 * empty text for texts. An unset field is never written to the device. */
#ifndef KVQUIET_CONF_STRUCT_H
#define KVQUIET_CONF_STRUCT_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Capacities of the text fields, terminator included. */
#define KVQUIET_CONF_FIRMWARE_CAP 18
#define KVQUIET_CONF_TEXT_CAP 16
#define KVQUIET_CONF_SHORT_TEXT_CAP 8

/* Number of commands a record can produce (indexes 0 to 52 of kvquiet_conf_cmd_build). */
#define KVQUIET_CONF_CMD_COUNT 53

/* Room one command needs: the longest is a key command ("%K0:" and 15 characters of text),
 * followed by the carriage return and the terminator. */
#define KVQUIET_CONF_CMD_MAX 21

typedef struct kvquiet_conf_struct {
    int32_t top_a;
    char firmware[KVQUIET_CONF_FIRMWARE_CAP]; /* reported by the device, never written */
    char top_i[KVQUIET_CONF_TEXT_CAP];
    int32_t top_j;
    char top_m[KVQUIET_CONF_TEXT_CAP];
    char top_g[KVQUIET_CONF_TEXT_CAP];
    char top_w[KVQUIET_CONF_TEXT_CAP];
    char top_n[KVQUIET_CONF_TEXT_CAP];
    int32_t top_x;
    char top_y[KVQUIET_CONF_SHORT_TEXT_CAP];
    char top_s[KVQUIET_CONF_TEXT_CAP]; /* downloader PC address, "0.0.0.0" in server modes */
    int32_t top_u;                     /* downloader PC port */
    int32_t top_b;
    int32_t top_p; /* upload frequency code */
    int8_t top_t;
    int8_t top_v; /* transfer mode, together with amp_f */
    int8_t top_k;
    int8_t top_e;
    int32_t amp_b; /* RS-232 baud rate */
    int8_t amp_d;  /* RS-232 data bits */
    int8_t amp_p;  /* RS-232 parity code */
    int8_t amp_s;  /* RS-232 stop bits */
    int8_t amp_c;  /* RS-232 handshake code */
    int8_t amp_r;
    int32_t amp_t;
    int32_t amp_g;
    int8_t amp_h;
    int8_t amp_v;
    int8_t pct_a;
    char pct_k0[KVQUIET_CONF_TEXT_CAP];
    char pct_k1[KVQUIET_CONF_TEXT_CAP];
    char pct_k2[KVQUIET_CONF_TEXT_CAP];
    char pct_k3[KVQUIET_CONF_TEXT_CAP];
    int8_t pct_s;
    int32_t hash_t;
    int32_t hash_a;
    int32_t hash_b;
    int32_t hash_c;
    int32_t hash_d;
    int32_t hash_x;
    int32_t hash_y;
    int32_t hash_z;
    int32_t hash_w;
    int8_t star_l;
    int32_t star_p;
    char star_s[KVQUIET_CONF_TEXT_CAP];
    char star_m[KVQUIET_CONF_TEXT_CAP];
    char star_x[KVQUIET_CONF_TEXT_CAP];
    char star_y[KVQUIET_CONF_TEXT_CAP];
    int32_t star_e;
    int8_t amp_f; /* transfer mode, together with top_v */
    int32_t star_a;
    int32_t star_b;
    int32_t star_c;
} kvquiet_conf_struct;

/* Sets every field of conf to its unset value, except firmware, which keeps its text.
 * Returns 0, or -1 when conf is NULL. Records no error code. Any thread; conf must not be
 * used by another thread meanwhile. */
int kvquiet_conf_clr(kvquiet_conf_struct *conf);

/* Writes into out the command for index (0 to KVQUIET_CONF_CMD_COUNT - 1, in the fixed order
 * in which a write sends them): the command text followed by "\r". out needs room for
 * KVQUIET_CONF_CMD_MAX bytes. A text field is sent up to its capacity less one character
 * even when the caller left it without a terminator.
 * Returns 0 when a command was written; -1 with out set to the empty string when the field
 * is unset or index is out of range, and -1 without touching anything when conf or out is
 * NULL. Records no error code. Any thread. */
int kvquiet_conf_cmd_build(const kvquiet_conf_struct *conf, char *out, int32_t index);

/* Reads the device's configuration reply (its pieces separated by ";", line end already
 * removed) into conf, in place: a field the reply does not mention keeps its value.
 * The first piece must contain "WEB51="; the firmware text follows the first "=" found from
 * the seventh character of that piece on. Numbers convert like atol, saturated to the 32-bit
 * range; 8-bit fields keep the low 8 bits. Texts are cut to their field's capacity.
 * Returns 0 after updating conf; -1 when the first piece lacks "WEB51=" (or text or conf is
 * NULL), and then conf is unchanged. Records no error code: the caller records code 74
 * ("No data") on -1. Any thread; conf must not be used by another thread meanwhile. */
int kvquiet_conf_reply_parse(const char *text, kvquiet_conf_struct *conf);

#ifdef __cplusplus
}
#endif

#endif /* KVQUIET_CONF_STRUCT_H */
