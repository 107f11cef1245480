// The station's main/backup message on "#OVRA_DEV_SHARE" (<Virtual = "TRUE"> or "FALSE"),
// read on the log thread (pattern mode): a message of the share bus's own type whose text
// carries a Virtual hands its value to the handler; any other (another type the pattern
// matched, a text without a Virtual) is ignored. The subscription ends with the reader, which
// waits for a delivery in progress; the handler may sleep on the log thread.
#pragma once

#include "Kest20/CLogReader.h"
#include "drivers/KsOvra20Api.h"

#include <functional>

class KSOVRA20_API CShareBusReader : public CLogReader {
public:
    explicit CShareBusReader(std::function<void(bool virtualOn)> onMessage);
    ~CShareBusReader() override;

    int OnRecvLog(const char *type, const char *text, const char *info) override;

private:
    const std::function<void(bool)> m_onMessage;
};
