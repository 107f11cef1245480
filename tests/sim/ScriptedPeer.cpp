#include "tests/sim/ScriptedPeer.h"

#include "platform/TimeSource.h"

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace kestsim {

namespace {

// How long a write to the master may wait for the line to take its bytes.
constexpr auto kWriteBound = std::chrono::seconds(5);
// How long a piece of an answer may wait after its time for the line to read the one before.
constexpr auto kReadBound = std::chrono::seconds(2);

} // namespace

Matcher Contains(Bytes pattern)
{
    return [pattern = std::move(pattern)](const Bytes &pending) -> size_t {
        if (pattern.empty()) return 0;
        auto it = std::search(pending.begin(), pending.end(), pattern.begin(), pattern.end());
        if (it == pending.end()) return 0;
        return static_cast<size_t>(it - pending.begin()) + pattern.size();
    };
}

ScriptedPeer::ScriptedPeer(PtyPair &pty) : pty_(pty), master_(pty.MasterFd())
{
    wakeFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    reader_ = std::thread([this] { ReadLoop(); });
    sender_ = std::thread([this] { SendLoop(); });
}

ScriptedPeer::~ScriptedPeer()
{
    Stop();
    if (wakeFd_ >= 0) close(wakeFd_);
}

void ScriptedPeer::When(Bytes pattern, kestsim::Answer answer)
{
    When(Contains(std::move(pattern)),
         [answer = std::move(answer)](const Bytes &) { return answer; });
}

void ScriptedPeer::When(Matcher matcher, Responder responder)
{
    std::lock_guard<std::mutex> lk(m_);
    rules_.push_back({std::move(matcher), std::move(responder)});
}

void ScriptedPeer::ClearRules()
{
    std::lock_guard<std::mutex> lk(m_);
    rules_.clear();
}

Bytes ScriptedPeer::Received() const
{
    std::lock_guard<std::mutex> lk(m_);
    return received_;
}

void ScriptedPeer::ClearReceived()
{
    std::lock_guard<std::mutex> lk(m_);
    received_.clear();
}

bool ScriptedPeer::WaitForBytes(size_t count, uint32_t ms) const
{
    std::unique_lock<std::mutex> lk(m_);
    return changed_.wait_for(lk, std::chrono::milliseconds(ms),
                             [&] { return received_.size() >= count; });
}

bool ScriptedPeer::WaitForContains(const Bytes &pattern, uint32_t ms) const
{
    Matcher found = Contains(pattern);
    std::unique_lock<std::mutex> lk(m_);
    return changed_.wait_for(lk, std::chrono::milliseconds(ms),
                             [&] { return found(received_) != 0; });
}

bool ScriptedPeer::Send(const Bytes &bytes)
{
    std::lock_guard<std::mutex> lk(writeLock_);
    return WriteAll(bytes.data(), bytes.size());
}

bool ScriptedPeer::WaitSent(uint32_t ms) const
{
    std::unique_lock<std::mutex> lk(m_);
    return changed_.wait_for(lk, std::chrono::milliseconds(ms),
                             [&] { return !matching_ && queue_.empty() && !sending_; });
}

void ScriptedPeer::HangUp()
{
    Stop();
    // Under the write lock: a Send racing the hang-up sees the stop before the fd goes.
    std::lock_guard<std::mutex> wl(writeLock_);
    pty_.CloseMaster();
}

void ScriptedPeer::SetFaults(Faults faults, int count)
{
    const bool hangUp = faults.hangUp;
    {
        std::lock_guard<std::mutex> lk(faultLock_);
        faults_ = std::move(faults);
        faultCount_ = count;
    }
    if (hangUp) HangUp();
}

void ScriptedPeer::ChangeFaults(const std::function<void(Faults &)> &change)
{
    std::lock_guard<std::mutex> lk(faultLock_);
    change(faults_);
}

Faults ScriptedPeer::GetFaults() const
{
    std::lock_guard<std::mutex> lk(faultLock_);
    return faults_;
}

Answer ScriptedPeer::Shape(Bytes reply, const Bytes &nak)
{
    std::lock_guard<std::mutex> lk(faultLock_);
    if (faults_.nak) reply = nak;
    if (faults_.badCheck && reply.size() > 1) reply.back() ^= 0x5A;
    if (faults_.shortReply && !reply.empty()) reply.pop_back();
    Answer answer = Answer::Of(std::move(reply));
    answer.silent = faults_.silent;
    answer.garbage = faults_.garbage;
    answer.delayMs = faults_.delayMs;
    answer.delayOnTicks = faults_.delayOnTicks;
    answer.chunkSize = faults_.chunkSize;
    answer.gapMs = faults_.gapMs;
    if (faultCount_ > 0 && --faultCount_ == 0) faults_ = Faults{};
    return answer;
}

void ScriptedPeer::Stop()
{
    {
        std::lock_guard<std::mutex> lk(m_);
        if (stop_ && !reader_.joinable()) return;
        stop_ = true;
    }
    changed_.notify_all();
    uint64_t one = 1;
    if (write(wakeFd_, &one, sizeof one) < 0) {
        // An event counter cannot overflow from one increment.
    }
    if (reader_.joinable()) reader_.join();
    if (sender_.joinable()) sender_.join();
}

void ScriptedPeer::ReadLoop()
{
    uint8_t buf[4096];
    for (;;) {
        pollfd p[2] = {{wakeFd_, POLLIN, 0}, {master_, POLLIN, 0}};
        if (poll(p, 2, -1) < 0 && errno != EINTR) return;
        if (p[0].revents) return;
        ssize_t n = read(master_, buf, sizeof buf);
        if (n <= 0) {
            // Nothing to read, or no slave open: look again a little later, not at once.
            if (poll(p, 1, 20) != 0) return;
            continue;
        }
        std::vector<Rule> rules;
        {
            std::lock_guard<std::mutex> lk(m_);
            received_.insert(received_.end(), buf, buf + n);
            rules = rules_;
            matching_ = true; // until the answers to these bytes are queued
        }
        changed_.notify_all();
        // Matching runs outside the lock: responders may call back into the peer.
        pending_.insert(pending_.end(), buf, buf + n);
        for (bool matched = true; matched && !pending_.empty();) {
            matched = false;
            for (const Rule &rule : rules) {
                size_t taken = std::min(rule.matcher(pending_), pending_.size());
                if (taken == 0) continue;
                Bytes request(pending_.begin(),
                              pending_.begin() + static_cast<std::ptrdiff_t>(taken));
                pending_.erase(pending_.begin(),
                               pending_.begin() + static_cast<std::ptrdiff_t>(taken));
                Enqueue(request, rule.responder);
                matched = true;
                break;
            }
        }
        {
            std::lock_guard<std::mutex> lk(m_);
            matching_ = false;
        }
        changed_.notify_all();
    }
}

void ScriptedPeer::Enqueue(const Bytes &request, const Responder &responder)
{
    kestsim::Answer a = responder(request);
    if (a.silent) return;
    Bytes all = a.garbage;
    all.insert(all.end(), a.bytes.begin(), a.bytes.end());
    if (all.empty()) return;
    const size_t size = a.chunkSize ? a.chunkSize : all.size();
    Clock::time_point due = Clock::now() + std::chrono::milliseconds(a.delayMs);
    const uint32_t dueTick = plat::GetTickCount() + a.delayMs;
    {
        std::lock_guard<std::mutex> lk(m_);
        for (size_t at = 0; at < all.size(); at += size) {
            size_t end = std::min(all.size(), at + size);
            queue_.push_back(
                {due,
                 Bytes(all.begin() + static_cast<std::ptrdiff_t>(at),
                       all.begin() + static_cast<std::ptrdiff_t>(end)),
                 at > 0, std::chrono::milliseconds(a.gapMs), false,
                 at == 0 && a.delayOnTicks ? std::optional<uint32_t>(dueTick) : std::nullopt});
            due += std::chrono::milliseconds(a.gapMs);
        }
    }
    changed_.notify_all();
}

void ScriptedPeer::SendLoop()
{
    std::unique_lock<std::mutex> lk(m_);
    for (;;) {
        if (stop_) return;
        if (queue_.empty()) {
            changed_.wait(lk);
            continue;
        }
        Piece &front = queue_.front();
        const Clock::time_point due = front.due;
        const bool continued = front.continued;
        const Clock::time_point now = Clock::now();
        if (front.dueTick && plat::TickDiff(plat::GetTickCount(), *front.dueTick) < 0) {
            // Due on the tick count: looked at again a real millisecond later, asleep
            // meanwhile, so that a test stepping the manual clock sees the process quiet.
            changed_.wait_for(lk, std::chrono::milliseconds(1));
            continue;
        }
        // A later piece waits also until the line has read the one before (within a bound),
        // and then its gap once more from that read, so that each piece reaches the reader
        // as a read of its own however late the reader's thread runs.
        bool wait = !front.dueTick && now < due;
        if (!wait && continued && now < due + kReadBound) {
            if (LineHoldsUnread()) {
                front.heldUp = wait = true;
            } else if (front.heldUp) {
                front.heldUp = false;
                front.due = now + front.gap;
                wait = true;
            }
        }
        if (wait) {
            if (continued) {
                // An answer in pieces is on the wire: between its pieces the sender stays
                // runnable, so a test stepping the manual clock sees the process busy and
                // takes the gaps as the line's own time, not as the device's silence.
                lk.unlock();
                std::this_thread::yield();
                lk.lock();
            } else {
                changed_.wait_until(lk, due);
            }
            continue;
        }
        Piece piece = std::move(queue_.front());
        queue_.pop_front();
        sending_ = true;
        lk.unlock();
        {
            std::lock_guard<std::mutex> wl(writeLock_);
            WriteAll(piece.bytes.data(), piece.bytes.size());
        }
        lk.lock();
        sending_ = false;
        changed_.notify_all();
    }
}

bool ScriptedPeer::LineHoldsUnread() const
{
    const int slave = pty_.SlaveFd();
    if (slave < 0) return false;
    // The poll hands bytes still in the terminal's flip buffer to its line discipline, where
    // the count sees them.
    pollfd p{slave, POLLIN, 0};
    poll(&p, 1, 0);
    int unread = 0;
    return ioctl(slave, FIONREAD, &unread) == 0 && unread > 0;
}

bool ScriptedPeer::WriteAll(const uint8_t *data, size_t length)
{
    const auto until = Clock::now() + kWriteBound;
    size_t done = 0;
    while (done < length) {
        {
            std::lock_guard<std::mutex> lk(m_);
            if (stop_) return false;
        }
        ssize_t n = write(master_, data + done, length - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) return false;
        if (Clock::now() >= until) return false;
        pollfd p[2] = {{wakeFd_, POLLIN, 0}, {master_, POLLOUT, 0}};
        poll(p, 2, 50);
    }
    return true;
}

} // namespace kestsim
