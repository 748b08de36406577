// The socket chores that are the same on every platform: address text and socket sets. The
// platform's own calls are in kv_socket_posix.cpp and kv_socket_win.cpp.
#include "kv_socket.h"

#include <cstdio>
#include <cstring>

#ifndef _WIN32
#include <arpa/inet.h>
#endif

void kv_fdset_copy(const fd_set *source, fd_set **target) {
    if (source == nullptr) {
        *target = nullptr;
        return;
    }
    std::memcpy(*target, source, sizeof(fd_set));
}

int kv_inet_parse(const char *text, uint32_t *address) {
    if (text == nullptr)
        return -1;
    // Strict dotted decimal: four numbers of 1 to 3 digits, each at most 255.
    uint32_t bytes[4] = {0, 0, 0, 0};
    const char *p = text;
    for (int part = 0; part < 4; ++part) {
        int digits = 0;
        uint32_t value = 0;
        while (*p >= '0' && *p <= '9' && digits < 4) {
            value = value * 10 + static_cast<uint32_t>(*p - '0');
            ++p;
            ++digits;
        }
        if (digits == 0 || digits > 3 || value > 255)
            return -1;
        bytes[part] = value;
        if (part < 3) {
            if (*p != '.')
                return -1;
            ++p;
        }
    }
    if (*p != '\0')
        return -1;
    const uint32_t host = (bytes[0] << 24) | (bytes[1] << 16) | (bytes[2] << 8) | bytes[3];
    *address = htonl(host);
    return 0;
}

char *kv_inet_format(uint32_t address, char *text) {
    const uint32_t host = ntohl(address);
    std::snprintf(text, 16, "%u.%u.%u.%u", (host >> 24) & 0xFFu, (host >> 16) & 0xFFu,
                  (host >> 8) & 0xFFu, host & 0xFFu);
    return text;
}
