// A settings file of the test's own, mounted at "/etc/tvx" for the length of one test and
// unmounted (its provider destroyed) at the end, so tests never see each other's providers.
#pragma once

#include "tests/KestLib20/TextFileTest.h"

#include "KestLib20/CConfigFileAccessX.h"
#include "KestLib20/CResAccess.h"

#include <memory>
#include <string>

class ResourceTreeTest : public TextFileTest {
protected:
    void SetUp() override
    {
        TextFileTest::SetUp();
        m_file = Path("Program.CLSID");
        m_settings = std::make_unique<CConfigFileAccessX>(m_file.c_str());
        m_settings->Mount("/etc/tvx");
    }
    void TearDown() override
    {
        m_settings.reset();
        TextFileTest::TearDown();
    }

    // Replaces the settings file; the next read sees it.
    void WriteSettings(const std::string &text)
    {
        WriteBytes(m_file, text);
        m_settings->GetFileAccess().SetFileName(m_file.c_str());
    }
    std::string SettingsText() const { return ReadBytes(m_file); }

    // The value at `path` as text, or "<none>" when nothing serves it.
    static std::string Read(const char *path)
    {
        CString text;
        return CResString(path).GetStringData(text) ? std::string(text) : "<none>";
    }

    std::string m_file;
    std::unique_ptr<CConfigFileAccessX> m_settings;
};
