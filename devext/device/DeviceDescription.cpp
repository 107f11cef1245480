#include "devext/device/DeviceDescription.h"

#include "platform/Gbk.h"

#include <forward_list>
#include <map>
#include <mutex>
#include <string>

namespace {

class Descriptions {
public:
    void Set(const char *className, const char *text)
    {
        std::lock_guard<std::mutex> lk(m_lock);
        // Texts are never freed: readers may still hold a replaced one.
        m_texts.emplace_front(text);
        m_byClass[Key(className)] = m_texts.front().c_str();
    }
    const char *Get(const char *className)
    {
        std::lock_guard<std::mutex> lk(m_lock);
        auto found = m_byClass.find(Key(className));
        return found == m_byClass.end() ? "" : found->second;
    }

private:
    static std::string Key(const char *className)
    {
        std::string key(className);
        plat::GbkToUpper(key);
        return key;
    }

    std::mutex m_lock;
    std::forward_list<std::string> m_texts;
    std::map<std::string, const char *> m_byClass;
};

Descriptions &Table()
{
    static Descriptions table;
    return table;
}

} // namespace

int32_t SetDeviceDescription(const char *className, const char *text)
{
    if (className) Table().Set(className, text ? text : "");
    return 0;
}

const char *GetDeviceDescription(const char *className)
{
    return className ? Table().Get(className) : "";
}
