// Internal to the configuration library: the one table that ties each command of the device
// to its field in kvquiet_conf_struct. The command builder walks it by index, the reply
// parser searches it by group and letter, so both always agree on names, types and places.
#ifndef KVQUIET_CONF_FIELDS_H
#define KVQUIET_CONF_FIELDS_H

#include "kvquiet_conf_struct.h"

#include <cstddef>
#include <cstdint>

namespace kvquiet_conf_detail {

enum class field_kind : uint8_t { i32, i8, text };

struct field {
    char group;        // '&', '%', '#', '*', or 0 for the top group
    char letter;       // command letter within the group
    char digit;        // key digit '0'..'3' of the "%K" commands, 0 elsewhere
    field_kind kind;   // how the value is stored and formatted
    uint16_t offset;   // offsetof the field in kvquiet_conf_struct
    uint16_t capacity; // bytes of a text field, terminator included; 0 for numbers
};

// Indexed by command index, in the order a write sends the commands.
extern const field fields[KVQUIET_CONF_CMD_COUNT];

inline char *field_ptr(kvquiet_conf_struct *conf, const field &f) {
    return reinterpret_cast<char *>(conf) + f.offset;
}

inline const char *field_ptr(const kvquiet_conf_struct *conf, const field &f) {
    return reinterpret_cast<const char *>(conf) + f.offset;
}

} // namespace kvquiet_conf_detail

#endif // KVQUIET_CONF_FIELDS_H
