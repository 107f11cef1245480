#include "drivers/switchers/CShareBusReader.h"

#include "drivers/model/ShareBus.h"

#include <optional>
#include <utility>

CShareBusReader::CShareBusReader(std::function<void(bool virtualOn)> onMessage)
    : CLogReader(sharebus::kShareBus, LOG_MODE_PATTERN, SubscribeLater{}),
      m_onMessage(std::move(onMessage))
{
    Subscribe();
}

CShareBusReader::~CShareBusReader()
{
    Unsubscribe();
}

int CShareBusReader::OnRecvLog(const char *type, const char *text, const char *)
{
    // Only the share bus's own messages with a Virtual of their own switch anything.
    const std::optional<bool> on = sharebus::ReadVirtual(type, text);
    if (!on) return 0;
    if (m_onMessage) m_onMessage(*on);
    return 1;
}
