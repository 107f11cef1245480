#include "devext/services/Speaker.h"

#include "platform/TimeSource.h"

#include <mutex>

namespace {

class CSilentSpeaker final : public ISpeaker {
public:
    void Beep(uint32_t, uint32_t ms) override { plat::Sleep(ms); }
};

std::mutex g_speakerLock;

std::shared_ptr<ISpeaker> &Installed()
{
    static std::shared_ptr<ISpeaker> speaker = std::make_shared<CSilentSpeaker>();
    return speaker;
}

} // namespace

std::shared_ptr<ISpeaker> GetSpeaker()
{
    std::lock_guard guard(g_speakerLock);
    return Installed();
}

std::shared_ptr<ISpeaker> SetSpeaker(std::shared_ptr<ISpeaker> speaker)
{
    if (!speaker) speaker = std::make_shared<CSilentSpeaker>();
    std::lock_guard guard(g_speakerLock);
    Installed().swap(speaker);
    return speaker;
}

void Beep(uint32_t hz, uint32_t ms)
{
    GetSpeaker()->Beep(hz, ms);
}
