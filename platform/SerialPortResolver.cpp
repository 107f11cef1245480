#include "platform/SerialPortResolver.h"

#include "platform/Process.h"

#include <mutex>

namespace plat {

namespace {

std::mutex &ReaderLock()
{
    static auto *lock = new std::mutex;
    return *lock;
}

SerialPortSettingsReader &Reader()
{
    static auto *reader = new SerialPortSettingsReader;
    return *reader;
}

} // namespace

void SetSerialPortSettingsReader(SerialPortSettingsReader reader)
{
    std::lock_guard<std::mutex> lk(ReaderLock());
    Reader() = std::move(reader);
}

std::string ResolveSerialPort(SerialPortKind kind, int n)
{
    if (n < 1) return std::string();
    const std::string key = (kind == SerialPortKind::COM ? "COM" : "SIO") + std::to_string(n);

    std::string path;
    if (GetEnv(("KEST_" + key).c_str(), &path) && !path.empty()) return path;

    SerialPortSettingsReader reader;
    {
        std::lock_guard<std::mutex> lk(ReaderLock());
        reader = Reader();
    }
    // The lookup runs outside the lock: it may take the settings tree's own locks.
    path.clear();
    if (reader && reader(key, &path) && !path.empty()) return path;

    if (kind == SerialPortKind::COM) return "/dev/ttyS" + std::to_string(n - 1);
    return std::string();
}

} // namespace plat
