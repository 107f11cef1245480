#include "drivers/sources/ftp/FtpConnState.h"

namespace {
constexpr uint32_t kGuardStopMs = 1000;
}

void FtpWorkDir::Reset()
{
    std::lock_guard<std::mutex> lk(m_lock);
    m_steps.clear();
    m_bAbsolute = false;
}

void FtpWorkDir::Change(const CString &dir)
{
    std::lock_guard<std::mutex> lk(m_lock);
    if (!dir.IsEmpty() && dir[0] == '/') {
        m_steps.clear();
        m_bAbsolute = true;
    }
    for (int start = 0; start <= dir.GetLength();) {
        int end = dir.Find('/', start);
        if (end < 0) end = dir.GetLength();
        const CString step = dir.Mid(start, end - start);
        start = end + 1;
        if (step.IsEmpty() || step == ".") continue;
        if (step == ".." && !m_steps.empty() && m_steps.back() != "..")
            m_steps.pop_back();
        else if (step != ".." || !m_bAbsolute) // the root's parent is the root
            m_steps.push_back(step);
    }
}

CString FtpWorkDir::Path() const
{
    std::lock_guard<std::mutex> lk(m_lock);
    CString path = m_bAbsolute ? "/" : "";
    for (size_t i = 0; i < m_steps.size(); ++i) {
        if (i) path += "/";
        path += m_steps[i];
    }
    return path;
}

CTcpSocket *CFtpDataPort::Adopt(SOCKET s)
{
    std::lock_guard<std::mutex> lk(m_lock);
    m_data = std::make_unique<CTcpSocket>(s);
    if (m_closed) m_data->Close();
    return m_data.get();
}

void CFtpDataPort::Close()
{
    std::lock_guard<std::mutex> lk(m_lock);
    m_closed = true;
    m_listen.Close();
    if (m_data) m_data->Close();
}

FtpIdleGuard::FtpIdleGuard(std::shared_ptr<CFtpDataPort> port, uint32_t boundMs)
    : m_shared(std::make_shared<Shared>())
{
    m_thread = plat::Thread::Start([shared = m_shared, port = std::move(port), boundMs] {
        for (;;) {
            const uint32_t r = plat::WaitForAny({&shared->done, &shared->activity}, boundMs);
            if (r == plat::WAIT_OBJECT_0 + 1) continue;
            if (r == plat::WAIT_TIMEOUT) {
                shared->expired = true;
                port->Close();
            }
            return 0u;
        }
    });
}

FtpIdleGuard::~FtpIdleGuard()
{
    m_shared->done.Set();
    m_thread.StopWithin(kGuardStopMs, 0);
}
