// The configuration files that the system object mounts in the resource tree: one
// settings-file provider per file, each at its own path, kept until the system object goes.
#pragma once

#include <memory>
#include <vector>

class CConfigFileAccessX;

class CLocalConfigProvicer {
public:
    CLocalConfigProvicer();
    // Unmounts and deletes every provider (CloseAll).
    ~CLocalConfigProvicer();
    CLocalConfigProvicer(const CLocalConfigProvicer &) = delete;
    CLocalConfigProvicer &operator=(const CLocalConfigProvicer &) = delete;

    // Mounts the file at `mount`: 0 for an empty name, else the mount's result. A name that
    // does not exist as it stands is looked for, when relative, in the program's directory,
    // the system directory and "../", in that order; one found nowhere is mounted unchanged
    // (reads find nothing, the first write creates it).
    int Add_CLSID(const char *mount, const char *fileName);
    void CloseAll();

private:
    std::vector<std::unique_ptr<CConfigFileAccessX>> m_providers;
};
