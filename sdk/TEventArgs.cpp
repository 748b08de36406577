#include "TEventArgs.h"

#include <cstring>

namespace kvgapi {

namespace {
template <size_t N>
std::string text_of(const char (&field)[N]) {
    return std::string(field, strnlen(field, N));
}
} // namespace

TSdkError TSdkError::FromRecord(const kv_error_struct &record) {
    TSdkError error;
    error.Code = record.err_code;
    error.ErrNo = record.err_no;
    error.Message = text_of(record.err_code_str);
    error.SystemText = text_of(record.err_no_str);
    return error;
}

} // namespace kvgapi
