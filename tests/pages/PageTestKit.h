// What the page tests share: a settings file of the test's own, the sheet that
// glDoSettingDialog shows, and the page of a given class in it.
#pragma once

#include "tests/model/DeviceTestKit.h"

#include "devext/device/CObjectSettingDlg.h"
#include "platform/ui/CPropertySheet.h"

#include <cstring>
#include <fstream>
#include <sstream>

namespace pagetest {

// A settings file mounted at "/etc/tvx" for the object's life, whose text the test reads back.
class SettingsFile {
public:
    explicit SettingsFile(const std::string &text)
    {
        std::string pattern = ::testing::TempDir() + "kest_pages_XXXXXX";
        const int fd = mkstemp(pattern.data());
        if (fd >= 0) close(fd);
        m_path = pattern;
        std::ofstream(m_path, std::ios::binary | std::ios::trunc) << text;
        m_provider = std::make_unique<CConfigFileAccessX>(m_path.c_str());
        m_provider->Mount("/etc/tvx");
    }
    ~SettingsFile()
    {
        m_provider.reset();
        std::filesystem::remove(m_path);
    }
    SettingsFile(const SettingsFile &) = delete;
    SettingsFile &operator=(const SettingsFile &) = delete;

    // The file as it stands on disk.
    std::string Text() const
    {
        std::ifstream in(m_path, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }

private:
    std::string m_path;
    std::unique_ptr<CConfigFileAccessX> m_provider;
};

// Shows page `className` of the sheet; null when the sheet has none.
inline CObjectSettingDlg *ShowPage(CDialog &dlg, const char *className)
{
    auto &sheet = dynamic_cast<CPropertySheet &>(dlg);
    for (int i = 0; i < sheet.GetPageCount(); ++i) {
        CPropertyPage *page = sheet.GetPage(i);
        if (std::strcmp(page->GetRuntimeClass()->m_lpszClassName, className) != 0) continue;
        if (!sheet.SetActivePage(i)) return nullptr;
        return dynamic_cast<CObjectSettingDlg *>(page);
    }
    return nullptr;
}

// The classes of the sheet's pages, in order.
inline std::vector<std::string> PageClasses(CDialog &dlg)
{
    auto &sheet = dynamic_cast<CPropertySheet &>(dlg);
    std::vector<std::string> classes;
    for (int i = 0; i < sheet.GetPageCount(); ++i)
        classes.emplace_back(sheet.GetPage(i)->GetRuntimeClass()->m_lpszClassName);
    return classes;
}

inline CString Text(CWnd &wnd, int id)
{
    CString text;
    wnd.GetDlgItemText(id, text);
    return text;
}

} // namespace pagetest
