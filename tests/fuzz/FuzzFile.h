// A file of this fuzz process in the temporary directory, holding the bytes of one input.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

namespace fuzz {

class TempFile {
public:
    explicit TempFile(const char *name)
    {
        const char *dir = std::getenv("TMPDIR");
        m_path =
            std::string(dir && *dir ? dir : "/tmp") + "/" + name + "." + std::to_string(::getpid());
    }
    ~TempFile() { std::remove(m_path.c_str()); }
    TempFile(const TempFile &) = delete;
    TempFile &operator=(const TempFile &) = delete;

    const char *Write(const std::vector<uint8_t> &bytes) const
    {
        if (FILE *f = std::fopen(m_path.c_str(), "wb")) {
            if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
            std::fclose(f);
        }
        return m_path.c_str();
    }
    const char *Path() const { return m_path.c_str(); }

private:
    std::string m_path;
};

} // namespace fuzz
