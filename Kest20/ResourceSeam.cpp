#include "Kest20/ResourceSeam.h"

#include <atomic>

namespace {

class CNoSettings final : public ISettingReader {
public:
    CString ReadText(const char *, const char *, const char *defaultValue) override
    {
        return defaultValue;
    }
    int EnumSub(const char *, const char *, CStringArray &) override { return 0; }
};

CNoSettings g_noSettings;
std::atomic<ISettingReader *> g_pReader{&g_noSettings};

} // namespace

ISettingReader *glSetSettingReader(ISettingReader *reader)
{
    ISettingReader *previous = g_pReader.exchange(reader ? reader : &g_noSettings);
    return previous == &g_noSettings ? nullptr : previous;
}

ISettingReader *glGetSettingReader()
{
    return g_pReader.load();
}
