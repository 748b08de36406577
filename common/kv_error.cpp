// The error message table and the routines that fill and print error records.
#include "kv_error.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

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
