#include "KestLib20/CConfigFile.h"

#include "KestLib20/CConfigLine.h"
#include "KestLib20/CStrings.h"
#include "KestLib20/FilePath.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

bool Same(const CString &a, const char *b)
{
    return a.CompareNoCase(b ? b : "") == 0;
}

bool HasLineBreak(const char *text)
{
    return text && (std::strchr(text, '\r') || std::strchr(text, '\n'));
}

// A name as a line reads it back: no tab (read as a space), nothing to trim.
bool ReadsBack(const CString &name)
{
    CString trimmed = name;
    return name.Find('\t') < 0 && trimmed.Trim() == name;
}

// Whether a key line written for these would read back as the same section, key and value.
// A header of a one-character name is three characters long, which reads as text.
bool Storable(const char *section, const char *key, const char *value)
{
    const CString k(key), s(section);
    return !k.IsEmpty() && k[0] != '[' && k.FindOneOf("=\"") < 0 && k.Find("//") < 0 &&
           ReadsBack(k) && s.GetLength() != 1 && ReadsBack(s) && s.Find("//") < 0 &&
           !HasLineBreak(section) && !HasLineBreak(key) && !HasLineBreak(value);
}

// The path a save replaces: a symbolic link's target, so the link itself stays.
std::string SaveTarget(const char *path)
{
    std::string target(MakePosixPath(path));
    struct stat st {};
    if (lstat(target.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        char resolved[PATH_MAX];
        if (realpath(target.c_str(), resolved)) target = resolved;
    }
    return target;
}

// Writes the lines to a temporary file beside the target, flushes it to disk and renames it
// over the target, keeping the target's permissions.
int ReplaceFile(const char *path, const CStrings &lines)
{
    static std::atomic<unsigned> s_nCounter{0};
    const std::string target = SaveTarget(path);
    const std::string temp =
        target + ".~" + std::to_string(getpid()) + "." + std::to_string(s_nCounter.fetch_add(1));
    bool ok = lines.SaveToFile(temp.c_str()) != 0;
    if (ok) {
        const int fd = open(temp.c_str(), O_RDONLY | O_CLOEXEC);
        ok = fd >= 0 && fsync(fd) == 0;
        if (fd >= 0) close(fd);
    }
    struct stat st {};
    if (ok && stat(target.c_str(), &st) == 0) chmod(temp.c_str(), st.st_mode & 07777);
    ok = ok && std::rename(temp.c_str(), target.c_str()) == 0;
    if (!ok) unlink(temp.c_str());
    return ok ? 1 : 0;
}

} // namespace

struct CConfigFile::_Impl {
    using CLine = CConfigLine;
    std::vector<CLine> lines;

    // Parses one more line; `section` is the section of the lines loaded before it.
    void AddLine(const char *text, CString &section)
    {
        CLine &line = lines.emplace_back();
        line.LoadFromString(text);
        if (line.nKind == CLine::kSection)
            section = line.strSection;
        else
            line.strSection = section;
    }

    bool IsKeyLine(const CLine &line, const char *section, const char *key) const
    {
        return line.nKind == CLine::kKey && Same(line.strSection, section) &&
               Same(line.strKey, key);
    }

    // The lines of a section, header lines excepted, in file order.
    std::vector<CLine *> GetSectionLines(const char *section)
    {
        std::vector<CLine *> out;
        for (CLine &line : lines)
            if (line.nKind != CLine::kSection && Same(line.strSection, section))
                out.push_back(&line);
        return out;
    }

    // The longest key of the lines, rounded up to a multiple of 8.
    static int KeyWidth(const std::vector<CLine *> &section)
    {
        int width = 0;
        for (const CLine *line : section)
            if (line->nKind == CLine::kKey) width = std::max(width, line->strKey.GetLength());
        return (width + 7) / 8 * 8;
    }

    const CLine *FirstHeader(const char *section) const
    {
        for (const CLine &line : lines)
            if (line.nKind == CLine::kSection && Same(line.strSection, section)) return &line;
        return nullptr;
    }
};

CConfigFile::CConfigFile() : m_pImpl(std::make_unique<_Impl>()) {}

CConfigFile::~CConfigFile() = default;

int CConfigFile::LoadFromStrings(const CStringArray &lines)
{
    CString section; // each load starts outside any section
    for (const CString &line : lines) m_pImpl->AddLine(line, section);
    return static_cast<int>(m_pImpl->lines.size());
}

int CConfigFile::LoadFromFile(const char *path)
{
    CStrings lines;
    lines.LoadFromFile(path);
    return LoadFromStrings(lines);
}

int CConfigFile::Read(const char *section, const char *key, CString &value) const
{
    for (const auto &line : m_pImpl->lines) {
        if (m_pImpl->IsKeyLine(line, section, key)) {
            value = line.strValue;
            return 1;
        }
    }
    return 0;
}

int CConfigFile::Write(const char *section, const char *key, const char *value)
{
    if (!Storable(section, key, value)) return 0;
    for (auto &line : m_pImpl->lines) {
        if (m_pImpl->IsKeyLine(line, section, key)) {
            line.strValue = value;
            return 1;
        }
    }
    auto append = [&](int32_t kind) -> _Impl::CLine & {
        auto &line = m_pImpl->lines.emplace_back();
        line.nKind = kind;
        line.strSection = section;
        return line;
    };
    // Lines above the first header belong to no section and need no header.
    if (section && *section) append(_Impl::CLine::kSection);
    auto &line = append(_Impl::CLine::kKey);
    line.strKey = key;
    line.strValue = value;
    return 1;
}

int CConfigFile::DeleteSection(const char *section)
{
    std::erase_if(m_pImpl->lines,
                  [&](const _Impl::CLine &line) { return Same(line.strSection, section); });
    return 1;
}

int CConfigFile::DeleteItem(const char *section, const char *key)
{
    std::erase_if(m_pImpl->lines,
                  [&](const _Impl::CLine &line) { return m_pImpl->IsKeyLine(line, section, key); });
    return 1;
}

int CConfigFile::GetSectionList(CStringArray &list) const
{
    list.RemoveAll();
    for (const auto &line : m_pImpl->lines) {
        // A nameless header goes on with the unnamed part, which is not listed.
        if (line.nKind != _Impl::CLine::kSection || line.strSection.IsEmpty()) continue;
        bool listed = false;
        for (const CString &name : list) listed = listed || Same(name, line.strSection);
        if (!listed) list.Add(line.strSection);
    }
    return list.GetSize();
}

int CConfigFile::GetSectionLines(const char *section, CStringArray &lines) const
{
    lines.RemoveAll();
    const auto held = m_pImpl->GetSectionLines(section);
    const int width = _Impl::KeyWidth(held);
    for (const auto *line : held) {
        _Impl::CLine copy = *line; // saving a line may change its value
        lines.Add(copy.SaveToString(width));
    }
    return lines.GetSize();
}

int CConfigFile::GetKeyValueList(const char *section, CStringArray &keys,
                                 CStringArray &values) const
{
    keys.RemoveAll();
    values.RemoveAll();
    for (const auto *line : m_pImpl->GetSectionLines(section)) {
        if (line->nKind != _Impl::CLine::kKey) continue;
        keys.Add(line->strKey);
        values.Add(line->strValue);
    }
    return keys.GetSize();
}

int CConfigFile::SaveToStrings(CStringArray &list)
{
    list.RemoveAll();
    CStringArray parts;
    GetSectionList(parts);
    parts.InsertAt(0, CString()); // the lines above the first header
    for (int p = 0; p < parts.GetSize(); ++p) {
        if (p > 0) {
            _Impl::CLine header = *m_pImpl->FirstHeader(parts[p]);
            list.Add(header.SaveToString(0));
        }
        const auto lines = m_pImpl->GetSectionLines(parts[p]);
        const int width = _Impl::KeyWidth(lines);
        for (auto *line : lines) list.Add(line->SaveToString(width));
    }
    return list.GetSize();
}

int CConfigFile::SaveToFile(const char *path)
{
    if (!path) return 0;
    CStrings lines;
    SaveToStrings(lines);
    return ReplaceFile(path, lines);
}

int CConfigFile::CAccess::GetStringData(CString &text)
{
    return m_pFile ? m_pFile->Read(m_strSection, m_strKey, text) : 0;
}

int CConfigFile::CAccess::SetStringData(const CString &text)
{
    return m_pFile ? m_pFile->Write(m_strSection, m_strKey, text) : 0;
}
