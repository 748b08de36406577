/*
 * Socket chores of the configuration and discovery libraries and the device simulator: the
 * whole platform difference between Winsock and POSIX sockets sits behind these calls, so the
 * code above them has no #ifdef of its own.
 *
 * Addresses are IPv4 in network byte order (uint32_t as on the wire); ports are host order.
 * Results: 0 success, -1 failure, unless the comment says otherwise. After a failure the
 * platform's reason is in kv_socket_last_error() and, on every platform, in errno, where the
 * libraries read it when they record an error (on Windows it is Winsock's number, for example
 * 10061 for a refused connection). None of these records a library error code.
 */
#ifndef KV_SOCKET_H
#define KV_SOCKET_H

#include <stddef.h>
#include <stdint.h>

#ifdef _WIN32
/* The lean set of Windows headers, without the min and max macros that would break std::min
 * and std::max in every file that includes this one. */
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <winsock2.h>
#else
#include <sys/select.h>
#endif

#ifdef __cplusplus
extern "C" {
#endif

#ifdef _WIN32
typedef SOCKET kv_socket_t;
#define KV_INVALID_SOCKET INVALID_SOCKET
#else
typedef int kv_socket_t;
#define KV_INVALID_SOCKET (-1)
#endif

/* Kinds of kv_socket_option. */
enum kv_socket_option_kind {
    KV_SOCKET_NONBLOCK = 0,  /* non-blocking mode */
    KV_SOCKET_NODELAY = 1,   /* TCP_NODELAY on */
    KV_SOCKET_REUSEADDR = 2, /* a port whose connections are still closing may be bound again:
                              * SO_REUSEADDR on POSIX; nothing on Windows, where that is the
                              * default and SO_REUSEADDR would let two sockets share a port */
    KV_SOCKET_SNDBUF = 3,    /* a send buffer of 10 MiB */
    KV_SOCKET_NOTHING = 4,   /* nothing; returns 0 */
    KV_SOCKET_LINGER0 = 5    /* linger on with 0 s: closing resets the connection */
};

/* Starts the platform's socket layer (Winsock 1.1 on Windows; nothing elsewhere). May be called
 * any number of times; kv_socket_tcp and kv_socket_udp call it themselves. Returns 0, or -1
 * when the start-up fails. Any thread. */
int kv_socket_startup(void);

/* The counterpart of kv_socket_startup, offered for completeness. Returns the platform's
 * result (0 elsewhere). */
int kv_socket_cleanup(void);

/* The platform's last socket error (WSAGetLastError, or errno elsewhere). */
int kv_socket_last_error(void);

/* Sets one option of table kv_socket_option_kind on the socket. Kind 4 and any kind above 5
 * do nothing and return 0. Returns 0, or -1 when the platform call fails. */
int kv_socket_option(kv_socket_t socket, uint8_t kind);

/* Allows sending to broadcast addresses (SO_BROADCAST). Returns 0 or -1. */
int kv_socket_enable_broadcast(kv_socket_t socket);

/* Closes the socket. Returns the platform's result (0 on success). Closing
 * KV_INVALID_SOCKET does nothing and returns 0. */
int kv_socket_close(kv_socket_t socket);

/* Shuts down both directions of a connected socket without releasing its descriptor: a thread
 * blocked waiting on it wakes at once (the socket reads as closed), while the descriptor stays
 * the owner's to close. Used to end another thread's wait on a socket it alone closes.
 * Returns 0, or -1 when the platform refuses (for example a socket that is not connected). */
int kv_socket_shutdown(kv_socket_t socket);

/* Copies the whole socket set *source into the set that *target points to; when source is
 * null, sets *target to null instead, so that a following select ignores that set. */
void kv_fdset_copy(const fd_set *source, fd_set **target);

/* Creates an IPv4 TCP stream socket or UDP datagram socket, starting the socket layer first
 * when needed. Returns KV_INVALID_SOCKET on failure. Sending on these sockets never raises a
 * signal, and a datagram sent to a port nobody listens on never fails a later receive. */
kv_socket_t kv_socket_tcp(void);
kv_socket_t kv_socket_udp(void);

/* Parses a dotted-decimal IPv4 address ("a.b.c.d", each 0 to 255) into network order.
 * Returns 0, or -1 for any other text (null included). */
int kv_inet_parse(const char *text, uint32_t *address);

/* Writes an address as dotted-decimal text into `text` (at least 16 bytes). Returns `text`. */
char *kv_inet_format(uint32_t address, char *text);

/* Starts a connection on a non-blocking socket. Returns 0 when connected at once, 1 when the
 * connection is under way (wait for writability, then ask kv_socket_connect_error), -1 when it
 * failed at once. */
int kv_socket_connect_start(kv_socket_t socket, uint32_t address, uint16_t port);

/* After a connection under way has become writable: 0 when it is established, otherwise the
 * platform's error number of the failed connection (for example a refusal). */
int kv_socket_connect_error(kv_socket_t socket);

/* Waits up to timeout_ms (negative: no limit) for the socket to become readable (for_write 0)
 * or writable (for_write 1). A connection under way that failed counts as writable, and a
 * socket shut down by kv_socket_shutdown as ready at once. Returns 1 when ready, 0 on
 * time-out, -1 when the wait failed. A socket of any descriptor number may be waited on. */
int kv_socket_wait(kv_socket_t socket, int for_write, int32_t timeout_ms);

/* Sends up to `length` bytes once. Returns the number of bytes sent (possibly fewer than
 * asked), 0 when the socket would block, -1 on an error. */
int64_t kv_socket_send(kv_socket_t socket, const void *bytes, size_t length);

/* Receives up to `length` bytes once. Returns the number received, 0 when the peer closed the
 * connection or this side shut it down, -2 when a non-blocking socket has nothing yet, -1 on
 * an error. */
int64_t kv_socket_recv(kv_socket_t socket, void *bytes, size_t length);

/* Binds to the given address (0 for any) and port (0 for any free port). Returns 0 or -1. */
int kv_socket_bind(kv_socket_t socket, uint32_t address, uint16_t port);

/* The local address and port a socket is bound to. Returns 0 or -1. */
int kv_socket_local(kv_socket_t socket, uint32_t *address, uint16_t *port);

/* Listens for connections. Returns 0 or -1. */
int kv_socket_listen(kv_socket_t socket, int backlog);

/* Accepts one connection; the peer's address and port are stored when the pointers are not
 * null. The new socket is blocking, whatever the listener's mode. Returns the new socket or
 * KV_INVALID_SOCKET (also when nothing waits on a non-blocking socket). */
kv_socket_t kv_socket_accept(kv_socket_t socket, uint32_t *address, uint16_t *port);

/* Sends one datagram. Returns the number of bytes sent, or -1. */
int64_t kv_socket_sendto(kv_socket_t socket, const void *bytes, size_t length, uint32_t address,
                         uint16_t port);

/* Receives one datagram; the sender's address and port are stored when the pointers are not
 * null. A datagram longer than `length` is cut to it. Returns the length received, -2 when a
 * non-blocking socket has none yet, or -1. */
int64_t kv_socket_recvfrom(kv_socket_t socket, void *bytes, size_t length, uint32_t *address,
                           uint16_t *port);

#ifdef __cplusplus
}
#endif

#endif /* KV_SOCKET_H */
