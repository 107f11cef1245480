#include "tests/sim/PtyPair.h"

#include "platform/Process.h"

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace kestsim {

namespace {

void MakeRaw(int fd)
{
    termios t;
    if (tcgetattr(fd, &t) != 0) return;
    cfmakeraw(&t);
    tcsetattr(fd, TCSANOW, &t);
}

} // namespace

PtyPair::PtyPair()
{
    char name[256];
    if (openpty(&master_, &slave_, name, nullptr, nullptr) != 0) {
        master_ = slave_ = -1;
        return;
    }
    slavePath_ = name;
    MakeRaw(master_);
    MakeRaw(slave_);
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
    fcntl(master_, F_SETFD, FD_CLOEXEC);
    fcntl(slave_, F_SETFD, FD_CLOEXEC);
}

PtyPair::~PtyPair()
{
    for (auto it = saved_.rbegin(); it != saved_.rend(); ++it)
        plat::SetEnv(it->first.c_str(), it->second ? it->second->c_str() : nullptr);
    CloseMaster();
    if (slave_ >= 0) close(slave_);
}

void PtyPair::Bind(plat::SerialPortKind kind, int n)
{
    std::string name = std::string(kind == plat::SerialPortKind::COM ? "KEST_COM" : "KEST_SIO") +
                       std::to_string(n);
    std::string former;
    std::optional<std::string> saved;
    if (plat::GetEnv(name.c_str(), &former)) saved = former;
    saved_.emplace_back(name, saved);
    plat::SetEnv(name.c_str(), slavePath_.c_str());
}

void PtyPair::CloseMaster()
{
    if (master_ < 0) return;
    close(master_);
    master_ = -1;
}

} // namespace kestsim
