// One socket descriptor, owned jointly by the socket object that opened it and by every thread
// using it at the moment. Close shuts the socket down and wakes every wait on it, which closing
// a descriptor does not do on Linux; the descriptor itself is released once, when the last user
// lets go, so a thread never touches a descriptor number the system has handed out again.
#pragma once

#include "devext/Devext20Api.h"

#include <poll.h>
#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <cerrno>
#include <memory>
#include <mutex>

using SOCKET = int;
inline constexpr SOCKET INVALID_SOCKET = -1;

class DEVEXT20_API CSocketFd {
public:
    // Takes ownership of `fd` and makes it non-blocking; null (and `fd` closed) when the wake
    // cannot be made or `fd` is not valid.
    static std::shared_ptr<CSocketFd> Adopt(SOCKET fd);
    // Opens a new IPv4 socket of `type` (SOCK_STREAM, SOCK_DGRAM); null on failure.
    static std::shared_ptr<CSocketFd> Open(int type);

    ~CSocketFd();
    CSocketFd(const CSocketFd &) = delete;
    CSocketFd &operator=(const CSocketFd &) = delete;

    SOCKET Fd() const { return m_fd; }
    // Shuts the socket down and wakes its waits; true for the call that closed it.
    bool Close();
    bool IsClosed() const { return m_closed.load(std::memory_order_acquire); }

    // Waits until `events` (POLLIN, POLLOUT) are ready; false once the socket is closed, or
    // (errno ETIMEDOUT) once the platform's monotonic time reaches `deadline` (nanoseconds,
    // 0 for none).
    bool WaitFor(short events, uint64_t deadline = 0) const;

    // Runs a non-blocking socket call until it no longer would block, waiting for `events`
    // between tries. The call's result, or -1 (errno set) once the socket is closed or the
    // deadline of WaitFor has passed (errno ETIMEDOUT).
    template <class Call> ssize_t Io(short events, Call call, uint64_t deadline = 0) const
    {
        for (;;) {
            if (IsClosed()) {
                errno = EBADF;
                return -1;
            }
            const ssize_t r = call(m_fd);
            if (r >= 0) return r;
            if (errno == EINTR) continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK) return -1;
            if (!WaitFor(events, deadline)) {
                if (errno != ETIMEDOUT) errno = EBADF;
                return -1;
            }
        }
    }

private:
    CSocketFd(SOCKET fd, int wake) : m_fd(fd), m_wake(wake) {}

    const SOCKET m_fd;
    const int m_wake; // eventfd, readable once the socket is closed
    std::atomic<bool> m_closed{false};
};

// The socket field of a socket class: the descriptor it holds now, taken and replaced under a
// lock so that one thread may close it while another is using it.
class DEVEXT20_API CSocketRef {
public:
    CSocketRef() = default;
    // Copies share the descriptor.
    CSocketRef(const CSocketRef &other) : m_fd(other.Get()) {}
    CSocketRef &operator=(const CSocketRef &other);

    std::shared_ptr<CSocketFd> Get() const;
    void Set(std::shared_ptr<CSocketFd> fd);
    // Closes the held descriptor and forgets it; false when none was held.
    bool Close();
    // Closes `fd` and forgets it when it is still the one held (a failed call on it must not
    // close a socket opened since).
    void Close(const std::shared_ptr<CSocketFd> &fd);
    // Held and not closed.
    bool IsOpen() const;

private:
    mutable std::mutex m_lock;
    std::shared_ptr<CSocketFd> m_fd;
};
