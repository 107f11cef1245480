#include "Kest20/CLocalConfigProvicer.h"

#include "KestLib20/CConfigFileAccessX.h"
#include "KestLib20/CWinntSystem.h"
#include "KestLib20/FilePath.h"

CLocalConfigProvicer::CLocalConfigProvicer() = default;

CLocalConfigProvicer::~CLocalConfigProvicer()
{
    CloseAll();
}

int CLocalConfigProvicer::Add_CLSID(const char *mount, const char *fileName)
{
    CString name(fileName);
    if (name.IsEmpty()) return 0;
    CStringArray directories;
    directories.Add(CWinntSystem::GetProgramPath());
    directories.Add(CWinntSystem::GetSystemDirectoryA());
    directories.Add("../");
    SerachFile(directories, name);
    auto provider = std::make_unique<CConfigFileAccessX>(MakePosixPath(name));
    const int result = provider->Mount(mount);
    m_providers.push_back(std::move(provider));
    return result;
}

void CLocalConfigProvicer::CloseAll()
{
    // The last mounted goes first, as the tree was built.
    while (!m_providers.empty()) m_providers.pop_back();
}
