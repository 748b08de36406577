// The error message table and the routines that fill and print error records.
#include "kv_error.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#ifdef _WIN32
#include <winsock2.h>
#endif

extern "C" const kv_error_entry kv_error_table[KV_ERROR_COUNT] = {
#define KV_ERROR_ROW(code, name, text) {code, text},
    KV_ERROR_MAP(KV_ERROR_ROW)
#undef KV_ERROR_ROW
};

namespace {
// Copies at most size-1 characters and always terminates.
void copy_text(char *dst, size_t size, const char *src) {
    if (size == 0)
        return;
    size_t n = std::strlen(src);
    if (n >= size)
        n = size - 1;
    std::memcpy(dst, src, n);
    dst[n] = '\0';
}
#ifdef _WIN32
// Texts of the socket failures, under Winsock's number and the runtime's POSIX number alike,
// worded as the POSIX runtime words them so that a report reads the same on every platform.
struct socket_error_row {
    int winsock;
    int posix;
    const char *text;
};
constexpr socket_error_row socket_errors[] = {
    {WSAEINTR, EINTR, "Interrupted system call"},
    {WSAEBADF, EBADF, "Bad file descriptor"},
    {WSAEACCES, EACCES, "Permission denied"},
    {WSAEFAULT, EFAULT, "Bad address"},
    {WSAEINVAL, EINVAL, "Invalid argument"},
    {WSAEMFILE, EMFILE, "Too many open files"},
    {WSAEWOULDBLOCK, EWOULDBLOCK, "Resource temporarily unavailable"},
    {WSAEINPROGRESS, EINPROGRESS, "Operation now in progress"},
    {WSAEALREADY, EALREADY, "Operation already in progress"},
    {WSAENOTSOCK, ENOTSOCK, "Socket operation on non-socket"},
    {WSAEDESTADDRREQ, EDESTADDRREQ, "Destination address required"},
    {WSAEMSGSIZE, EMSGSIZE, "Message too long"},
    {WSAEPROTOTYPE, EPROTOTYPE, "Protocol wrong type for socket"},
    {WSAENOPROTOOPT, ENOPROTOOPT, "Protocol not available"},
    {WSAEPROTONOSUPPORT, EPROTONOSUPPORT, "Protocol not supported"},
    {WSAEOPNOTSUPP, EOPNOTSUPP, "Operation not supported"},
    {WSAEAFNOSUPPORT, EAFNOSUPPORT, "Address family not supported by protocol"},
    {WSAEADDRINUSE, EADDRINUSE, "Address already in use"},
    {WSAEADDRNOTAVAIL, EADDRNOTAVAIL, "Cannot assign requested address"},
    {WSAENETDOWN, ENETDOWN, "Network is down"},
    {WSAENETUNREACH, ENETUNREACH, "Network is unreachable"},
    {WSAENETRESET, ENETRESET, "Network dropped connection on reset"},
    {WSAECONNABORTED, ECONNABORTED, "Software caused connection abort"},
    {WSAECONNRESET, ECONNRESET, "Connection reset by peer"},
    {WSAENOBUFS, ENOBUFS, "No buffer space available"},
    {WSAEISCONN, EISCONN, "Transport endpoint is already connected"},
    {WSAENOTCONN, ENOTCONN, "Transport endpoint is not connected"},
    {WSAESHUTDOWN, -1, "Cannot send after transport endpoint shutdown"},
    {WSAETIMEDOUT, ETIMEDOUT, "Connection timed out"},
    {WSAECONNREFUSED, ECONNREFUSED, "Connection refused"},
    {WSAEHOSTDOWN, -1, "Host is down"},
    {WSAEHOSTUNREACH, EHOSTUNREACH, "No route to host"},
    {WSASYSNOTREADY, -1, "Network subsystem is unavailable"},
    {WSAVERNOTSUPPORTED, -1, "Winsock version not supported"},
    {WSANOTINITIALISED, -1, "Winsock not initialised"},
};

// The text of a socket failure's number, or null when the runtime's own table has it.
const char *socket_error_text(int errnum) {
    for (const socket_error_row &row : socket_errors) {
        // The runtime's table knows the classic numbers below 100 (EINVAL, EACCES, ...).
        if (row.winsock == errnum || (row.posix == errnum && errnum >= 100))
            return row.text;
    }
    return nullptr;
}
#endif

} // namespace

char *kv_error_i2s(int32_t code, char *buffer) {
    const char *text =
        (code >= 0 && code < KV_ERROR_COUNT) ? kv_error_table[code].message : "Unknown error code";
    copy_text(buffer, KV_ERROR_TEXT_MAX, text);
    return buffer;
}

const char *kv_error_message(int32_t code) {
    // A search by the code field rather than by position: the table is the authority.
    for (const kv_error_entry &entry : kv_error_table) {
        if (entry.code == code)
            return entry.message;
    }
    return kv_error_table[0].message;
}

char *kv_error_errno_text(int32_t errnum, char *buffer, size_t size) {
    if (size == 0)
        return buffer;
    buffer[0] = '\0';
#ifdef _WIN32
    // Socket failures carry Winsock's numbers, and the runtime's POSIX additions (ETIMEDOUT and
    // the like) have no text in its table either: both are looked up here.
    const char *socket_text = socket_error_text(errnum);
    if (socket_text != nullptr)
        copy_text(buffer, size, socket_text);
    else
        strerror_s(buffer, size, errnum);
#elif defined(__GLIBC__) && defined(_GNU_SOURCE)
    // The GNU variant may return a static text instead of filling the buffer.
    const char *text = strerror_r(errnum, buffer, size);
    if (text != buffer)
        copy_text(buffer, size, text);
#else
    if (strerror_r(errnum, buffer, size) != 0)
        std::snprintf(buffer, size, "Unknown error %d", static_cast<int>(errnum));
#endif
    return buffer;
}

void kv_error_fill(kv_error_struct *record, int32_t code) {
    const int saved = errno; // read first: the steps below may change it
    copy_text(record->err_code_str, sizeof record->err_code_str, kv_error_message(code));
    kv_error_errno_text(saved, record->err_no_str, sizeof record->err_no_str);
    record->err_no = saved;
    record->err_code = code;
    errno = saved;
}

int kv_error_format(const kv_error_struct *record, char *buffer, size_t size) {
    return std::snprintf(buffer, size, "%s (%i): %s (%i)\n", record->err_code_str,
                         static_cast<int>(record->err_code), record->err_no_str,
                         static_cast<int>(record->err_no));
}
