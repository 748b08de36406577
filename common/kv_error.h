/*
 * The library error codes shared by the configuration and discovery libraries, their message
 * table, and the error record that both hand out as whole copies.
 *
 * Codes run from 0 to 88 without gaps. 0 means no failure; 1 means an asynchronous operation is
 * still under way. The message texts are part of what users see and never change.
 */
#ifndef KV_ERROR_H
#define KV_ERROR_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* One list makes the code names, the numbers and the texts, so they cannot drift apart. */
#define KV_ERROR_MAP(X)                                                                            \
    X(0, NULL_ERROR, "NULL")                                                                       \
    X(1, ACTION_NOT_FINISH, "Action not finish")                                                   \
    X(2, ACTION_NOT_VALID, "Action not valid")                                                     \
    X(3, INDEX_NOT_FOUND, "Index not found")                                                       \
    X(4, INDEX_NOT_VALID, "Index not valid")                                                       \
    X(5, MEMORY_NOT_FOUND, "Memory not found")                                                     \
    X(6, FILE_OPEN, "File open failure")                                                           \
    X(7, FILE_WRITE, "File write failure")                                                         \
    X(8, FILE_READ, "File read failure")                                                           \
    X(9, FILE_CLOSE, "File close failure")                                                         \
    X(10, FILE_NOT_FOUND, "File not found")                                                        \
    X(11, FILE_NOT_VALID, "File not valid")                                                        \
    X(12, FILE_SIZE, "File size >= buffer_size_max")                                               \
    X(13, IP_NOT_VALID, "IP not valid")                                                            \
    X(14, IP_PORT_NOT_FOUND, "IP:PORT not found")                                                  \
    X(15, IP_PORT_IN_USE, "IP:PORT already use")                                                   \
    X(16, ID_NOT_FOUND, "ID not found")                                                            \
    X(17, ID_IN_USE, "ID already use")                                                             \
    X(18, ID_COUNT_MAX, "ID >= KVXML_ID_COUNT_MAX")                                                \
    X(19, TIMEOUT, "Timeout")                                                                      \
    X(20, SEM_INIT, "Semaphore init failed")                                                       \
    X(21, SEM_POST, "Semaphore post failed")                                                       \
    X(22, SEM_WAIT, "Semaphore wait failed")                                                       \
    X(23, MUTEX_INIT, "Mutex init failed")                                                         \
    X(24, MUTEX_LOCK, "Mutex lock failed")                                                         \
    X(25, MUTEX_UNLOCK, "Mutex unlock failed")                                                     \
    X(26, SOCKET_INIT, "Socket init failed")                                                       \
    X(27, SOCKET_CREATE, "Socket create failed")                                                   \
    X(28, SOCKET_CONNECT, "Socket connect failure")                                                \
    X(29, SOCKET_NONBLOCK, "Socket nonblock setup failed")                                         \
    X(30, SELECT_WRITE, "Socket select write failure")                                             \
    X(31, SELECT_READ, "Socket select read failure")                                               \
    X(32, SELECT, "Socket select failure")                                                         \
    X(33, SELECT_TIMEOUT, "Socket select timeout")                                                 \
    X(34, RECV, "Recv failed")                                                                     \
    X(35, SEND, "Send failed")                                                                     \
    X(36, THREAD0_NOT_EXIT, "Thread 0 not exit")                                                   \
    X(37, THREAD0_CREATE, "Thread 0 creation failed")                                              \
    X(38, THREAD_CREATE, "Thread creation failed")                                                 \
    X(39, THREAD_NOT_EXIT, "Thread not exit")                                                      \
    X(40, THREAD_NOT_RUN, "Thread not run")                                                        \
    X(41, MODULES_MAX, "Count modules = KV*_MODULES_MAX")                                          \
    X(42, PASSWORD_MAX, "p_password >= AUTHENTICATE_MAX")                                          \
    X(43, USER_MAX, "p_user >= AUTHENTICATE_MAX")                                                  \
    X(44, XML_PARSER, "Create XML parser failure")                                                 \
    X(45, XML_NOT_VALID, "XML file not valid")                                                     \
    X(46, HTTP_NOT_FOUND, "HTTP not found")                                                        \
    X(47, HTTP_400, "HTTP: Bad Request")                                                           \
    X(48, HTTP_401, "HTTP: Unauthorized")                                                          \
    X(49, HTTP_402, "HTTP: Payment Required")                                                      \
    X(50, HTTP_403, "HTTP: Forbidden")                                                             \
    X(51, HTTP_404, "HTTP: Not Found")                                                             \
    X(52, HTTP_405, "HTTP: Method Not Allowed")                                                    \
    X(53, HTTP_406, "HTTP: Not Acceptable")                                                        \
    X(54, HTTP_407, "HTTP: Proxy Authentication Required")                                         \
    X(55, HTTP_408, "HTTP: Request Timeout")                                                       \
    X(56, HTTP_409, "HTTP: Conflict")                                                              \
    X(57, HTTP_410, "HTTP: Gone")                                                                  \
    X(58, HTTP_411, "HTTP: Length Required")                                                       \
    X(59, HTTP_412, "HTTP: Precondition Failed")                                                   \
    X(60, HTTP_413, "HTTP: Request Entity Too Large")                                              \
    X(61, HTTP_414, "HTTP: Request-URI Too Long")                                                  \
    X(62, HTTP_415, "HTTP: Unsupported Media Type")                                                \
    X(63, HTTP_416, "HTTP: Requested Range Not Satisfiable")                                       \
    X(64, HTTP_417, "HTTP: Expectation Failed")                                                    \
    X(65, HTTP_500, "HTTP: Internal Server Error")                                                 \
    X(66, HTTP_501, "HTTP: Not Implemented")                                                       \
    X(67, HTTP_502, "HTTP: Bad Gateway")                                                           \
    X(68, HTTP_503, "HTTP: Service Unavailable")                                                   \
    X(69, HTTP_504, "HTTP: Gateway Timeout")                                                       \
    X(70, HTTP_505, "HTTP Version Not Supported")                                                  \
    X(71, HTTP_UNKNOWN, "HTTP unknown")                                                            \
    X(72, NOT_IN_RANGE, "Number not in range")                                                     \
    X(73, UNKNOWN_VALUE, "Unknown value")                                                          \
    X(74, NO_DATA, "No data")                                                                      \
    X(75, BUFFER_FULL, "Buffer is full")                                                           \
    X(76, CHECKSUM, "Checksum is failure")                                                         \
    X(77, PAGE_ALLOC, "Memory for page not alloc")                                                 \
    X(78, BUFFER_ALLOC, "Memory for buffer not alloc")                                             \
    X(79, TEA_AUTH, "TEA authorization failure")                                                   \
    X(80, MODULE_IN_USE, "Modul use more somewhere")                                               \
    X(81, LENGTH_MAX, "Length > LENGTH_MAX")                                                       \
    X(82, SOCKET_REUSEADDR, "Socket reuseaddr setup failed")                                       \
    X(83, SOCKET_SNDBUF, "Socket sndbuf setup failed")                                             \
    X(84, SOCKET_MAXSEG, "Socket maxseg setup failed")                                             \
    X(85, NULL_POINTER, "Assert: Pointer is NULL")                                                 \
    X(86, SERVER_CREATE, "Server create failed")                                                   \
    X(87, CLIENT_CONNECT, "Client connect failed")                                                 \
    X(88, SOCKET_LINGER, "Socket linger setup failed")

/* The codes by name: KV_ERR_TIMEOUT is 19, and so on. */
enum kv_error_code {
#define KV_ERROR_ENUM(code, name, text) KV_ERR_##name = code,
    KV_ERROR_MAP(KV_ERROR_ENUM)
#undef KV_ERROR_ENUM
        KV_ERROR_COUNT
};

/* Room for the longest message (37 characters) and its terminator. */
#define KV_ERROR_TEXT_MAX 38
/* Capacity of each text of the error record. */
#define KV_ERROR_STR_SIZE 104

/* One entry of the message table; entry i holds code i. */
typedef struct kv_error_entry {
    int32_t code;
    const char *message;
} kv_error_entry;

/* The 89 messages in code order. */
extern const kv_error_entry kv_error_table[KV_ERROR_COUNT];

/* The error record of both libraries. The configuration library fills err_code and its
 * message; the discovery library leaves err_code 0 and writes texts of its own. */
typedef struct kv_error_struct {
    int32_t err_no;                       /* the runtime's errno when the failure was recorded */
    int32_t err_code;                     /* the library error code */
    char err_no_str[KV_ERROR_STR_SIZE];   /* the runtime's text for err_no, or a second text */
    char err_code_str[KV_ERROR_STR_SIZE]; /* the message of err_code, or the library's text */
} kv_error_struct;

/* Copies the message of `code`, with its terminator, into `buffer` (at least KV_ERROR_TEXT_MAX
 * bytes) and returns `buffer`. A code outside 0 to 88 yields "Unknown error code" instead of
 * reading outside the table. Constant data only: any thread. */
char *kv_error_i2s(int32_t code, char *buffer);

/* Looks a code up in the table by its code field; returns its message, or the text of entry 0
 * ("NULL") when no entry has that code. Any thread. */
const char *kv_error_message(int32_t code);

/* Fills `record` for a failure with `code`: the code unchanged and its message (an undefined
 * code keeps its number with the message "NULL"), and the runtime's current errno with its
 * text. The caller holds whatever lock guards the record. */
void kv_error_fill(kv_error_struct *record, int32_t code);

/* Writes the runtime's message text for `errnum` into `buffer` of `size` bytes, always
 * terminated. Thread-safe, unlike strerror. Returns `buffer`. */
char *kv_error_errno_text(int32_t errnum, char *buffer, size_t size);

/* Formats the one-line report of a configuration-library record,
 * "%s (%i): %s (%i)\n" with err_code_str, err_code, err_no_str, err_no, into `buffer`.
 * Returns the length of the whole line (as snprintf does; the text is cut to fit). */
int kv_error_format(const kv_error_struct *record, char *buffer, size_t size);

#ifdef __cplusplus
}
#endif

#endif /* KV_ERROR_H */
