#include "devext/device/tagDevStatus.h"

#include "platform/Gbk.h"

#include <cstring>
#include <map>
#include <mutex>
#include <string>

namespace {

constexpr const char *kStockTexts[] = {
    "设备正常",     "设备名有冲突", "设备设置非法", "COM口打开失败",
    "网络连接失败", "设备运行失败", "未知错误",
};
constexpr int32_t kStockCount = static_cast<int32_t>(std::size(kStockTexts));

// The default texts, filled with the stock rows when first used; rows hold their own copies.
class DefaultTexts {
public:
    DefaultTexts()
    {
        for (int32_t code = 0; code < kStockCount; ++code) m_texts[code] = kStockTexts[code];
    }
    void Set(int32_t code, const char *text)
    {
        std::lock_guard<std::mutex> lk(m_lock);
        m_texts[code] = text;
    }
    std::string Get(int32_t code)
    {
        std::lock_guard<std::mutex> lk(m_lock);
        auto found = m_texts.find(code);
        return found == m_texts.end() ? std::string() : found->second;
    }

private:
    std::mutex m_lock;
    std::map<int32_t, std::string> m_texts;
};

DefaultTexts &Defaults()
{
    static DefaultTexts table;
    return table;
}

} // namespace

int tagDevStatus::SetStatus(int32_t code, const char *text)
{
    const int changed = code != nCode ? 1 : 0;
    nCode = code;
    const std::string stored = text ? std::string(text) : Defaults().Get(code);
    const size_t length = plat::GbkCutLength(stored.c_str(), kTextSize);
    std::memset(szText, 0, sizeof szText);
    std::memcpy(szText, stored.data(), length);
    return changed;
}

CString tagDevStatus::GetText() const
{
    const size_t length = strnlen(szText, kTextSize);
    size_t kept = 0;
    while (kept < length) {
        const bool lead = plat::IsGbkLead(static_cast<unsigned char>(szText[kept]));
        if (lead && kept + 1 >= length) break; // half a character at the end of the field
        kept += lead ? 2 : 1;
    }
    return CString(szText, static_cast<int>(kept));
}

int tagDevStatus::SetDefaultDevStatus(int32_t code, const char *text)
{
    if (text) Defaults().Set(code, text);
    return 1;
}

CString tagDevStatus::GetDefaultText(int32_t code)
{
    return CString(Defaults().Get(code));
}

const char *tagDevStatus::GetStockText(int32_t code)
{
    return code >= 0 && code < kStockCount ? kStockTexts[code] : nullptr;
}
