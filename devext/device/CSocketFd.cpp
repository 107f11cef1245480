#include "devext/device/CSocketFd.h"

#include "platform/TimeSource.h"

#include <fcntl.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>

namespace {
constexpr uint64_t kDeadlineSliceMs = 50;
} // namespace

std::shared_ptr<CSocketFd> CSocketFd::Adopt(SOCKET fd)
{
    if (fd < 0) return nullptr;
    const int flags = fcntl(fd, F_GETFL);
    const int wake = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (flags < 0 || fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0 || wake < 0) {
        const int err = errno;
        if (wake >= 0) ::close(wake);
        ::close(fd);
        errno = err;
        return nullptr;
    }
    return std::shared_ptr<CSocketFd>(new CSocketFd(fd, wake));
}

std::shared_ptr<CSocketFd> CSocketFd::Open(int type)
{
    const SOCKET fd = ::socket(AF_INET, type | SOCK_CLOEXEC, 0);
    return fd < 0 ? nullptr : Adopt(fd);
}

CSocketFd::~CSocketFd()
{
    ::close(m_fd);
    ::close(m_wake);
}

bool CSocketFd::Close()
{
    if (m_closed.exchange(true, std::memory_order_acq_rel)) return false;
    // Wakes a blocked accept or receive and tells the peer; the descriptor stays ours until
    // the last user lets go of it.
    ::shutdown(m_fd, SHUT_RDWR);
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(m_wake, &one, sizeof one);
    return true;
}

bool CSocketFd::WaitFor(short events, uint64_t deadline) const
{
    pollfd fds[2] = {{m_fd, events, 0}, {m_wake, POLLIN, 0}};
    for (;;) {
        if (IsClosed()) {
            errno = EBADF;
            return false;
        }
        // A deadline is watched in short slices on the platform's clock, so that a test's
        // manual clock moves it as well.
        int slice = -1;
        if (deadline) {
            const uint64_t now = plat::MonotonicNanos();
            if (now >= deadline) {
                errno = ETIMEDOUT;
                return false;
            }
            slice = static_cast<int>(
                std::min<uint64_t>((deadline - now) / 1000000 + 1, kDeadlineSliceMs));
        }
        const int n = ::poll(fds, 2, slice);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 || fds[1].revents) {
            errno = EBADF;
            return false;
        }
        // Errors and hang-ups count as ready: the next call reports them.
        if (fds[0].revents) return !IsClosed();
    }
}

CSocketRef &CSocketRef::operator=(const CSocketRef &other)
{
    if (this != &other) Set(other.Get());
    return *this;
}

std::shared_ptr<CSocketFd> CSocketRef::Get() const
{
    std::lock_guard<std::mutex> lk(m_lock);
    return m_fd;
}

void CSocketRef::Set(std::shared_ptr<CSocketFd> fd)
{
    std::lock_guard<std::mutex> lk(m_lock);
    m_fd.swap(fd);
    // The previous descriptor, if any, is let go outside the lock.
}

bool CSocketRef::Close()
{
    std::shared_ptr<CSocketFd> fd;
    {
        std::lock_guard<std::mutex> lk(m_lock);
        fd.swap(m_fd);
    }
    if (!fd) return false;
    fd->Close();
    return true;
}

void CSocketRef::Close(const std::shared_ptr<CSocketFd> &fd)
{
    if (!fd) return;
    {
        std::lock_guard<std::mutex> lk(m_lock);
        if (m_fd == fd) m_fd.reset();
    }
    fd->Close();
}

bool CSocketRef::IsOpen() const
{
    std::lock_guard<std::mutex> lk(m_lock);
    return m_fd && !m_fd->IsClosed();
}
