#include "devext/services/CLog.h"

#include "Kest20/CLogReader.h"
#include "KestLib20/CResAccess.h"
#include "KestLib20/CSimplexStringMap.h"
#include "devext/services/CLogFileRegistry.h"

IMPLEMENT_KEST_CLASS(CLog, CKestnut)

// Every message type, on the log thread, into the registry's writers.
class CLog::CReader final : public CLogReader {
public:
    CReader() : CLogReader(tagOnRecvLog{}) { Modify("*", LOG_MODE_PATTERN); }
    ~CReader() override
    {
        Unsubscribe();
        registry.FlushAll();
    }

    int OnRecvLog(const char *type, const char *text, const char *info) override
    {
        registry.Dispatch(type, text, info);
        return 0;
    }

    CLogFileRegistry registry;
};

CLog::CLog() : m_pReader(std::make_unique<CReader>())
{
    SetInstanceName("Log");
}

CLog::~CLog() = default;

CLogFileRegistry &CLog::GetRegistry()
{
    return m_pReader->registry;
}

int32_t CLog::OnInitInstance()
{
    if (!CKestnut::OnInitInstance()) return 0;
    CResAccess setting(GetSettingInfo());
    CStringArray names;
    setting["LogFile"].GetAsStringArray(names, "");
    for (const CString &name : names) {
        CSimplexStringMap properties;
        properties.SetAsXmlProp(setting[name].GetAsString());
        const CString file = static_cast<const CSimplexStringMap &>(properties)["File"];
        const CString title = static_cast<const CSimplexStringMap &>(properties)["TITLE"];
        if (!file.IsEmpty()) GetRegistry().Register(title, file);
    }
    return 1;
}
