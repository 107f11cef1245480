#include "drivers/model/CVideoClipCache.h"

#include "Kest20/CClock.h"
#include "platform/Gbk.h"
#include "platform/TimeSource.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <unordered_set>

namespace {

using tagCLIP = CVideoClipCache::tagCLIP;

constexpr int64_t kUnitsPerFrame = 400000; // 100 ns units at 25 frames a second

// The name of a record, which may fill all its bytes without a terminator.
std::string NameOf(const tagCLIP &clip)
{
    return std::string(clip.szName, strnlen(clip.szName, sizeof clip.szName));
}

// A clip id as the cache keeps it: at most kNameLength bytes, cut between characters.
std::string CutName(const std::string &name)
{
    return name.substr(0, plat::GbkCutLength(name.c_str(), CVideoClipCache::kNameLength));
}

void SetName(tagCLIP &clip, const std::string &name)
{
    std::memset(clip.szName, 0, sizeof clip.szName);
    std::memcpy(clip.szName, name.data(), std::min(name.size(), sizeof clip.szName - 1));
}

tagCLIP NewClip(const std::string &name, uint32_t stamp)
{
    tagCLIP clip;
    SetName(clip, name);
    clip.dwTime = stamp;
    return clip;
}

} // namespace

CVideoClipCache::CVideoClipCache()
{
    timecode_t span;
    span.SetAsDetail(0, 30, 0, 0);
    m_nValidSpan = span;
}

CVideoClipCache::~CVideoClipCache() = default;

int CVideoClipCache::GetAt(int index, tagCLIP &clip)
{
    std::lock_guard<CDataLock> lk(m_lock);
    if (index < 0 || index >= static_cast<int>(m_Clips.size())) return 0;
    clip = m_Clips[static_cast<size_t>(index)];
    return 1;
}

int CVideoClipCache::GetAt(const CString &name, tagCLIP &clip)
{
    std::lock_guard<CDataLock> lk(m_lock);
    const int index = FindLocked(name);
    if (index < 0) return 0;
    clip = m_Clips[static_cast<size_t>(index)];
    return 1;
}

int CVideoClipCache::IsExists(const char *name)
{
    std::lock_guard<CDataLock> lk(m_lock);
    return FindLocked(name) >= 0 ? 1 : 0;
}

int CVideoClipCache::FindLocked(const char *name) const
{
    if (!name) return -1;
    const auto found = m_Index.find(name);
    return found == m_Index.end() ? -1 : found->second;
}

void CVideoClipCache::AppendLocked(const tagCLIP &clip)
{
    // Grows by an eighth, at least 4 and at most 1024 clips at a time.
    if (m_Clips.size() == m_Clips.capacity())
        m_Clips.reserve(m_Clips.size() + std::clamp<size_t>(m_Clips.size() / 8, 4, 1024));
    m_Index[NameOf(clip)] = static_cast<int>(m_Clips.size());
    m_Clips.push_back(clip);
}

void CVideoClipCache::AddLocked(tagCLIP &clip)
{
    const std::string name = CutName(NameOf(clip));
    if (name.empty()) return;
    SetName(clip, name);
    clip.dwTime = plat::GetTickCount();
    const int index = FindLocked(name.c_str());
    if (index < 0) {
        AppendLocked(clip);
        return;
    }
    tagCLIP &held = m_Clips[static_cast<size_t>(index)];
    const int32_t size = clip.nSize != 0 ? clip.nSize : held.nSize;
    held = clip;
    held.nSize = size;
}

void CVideoClipCache::AddClip(tagCLIP &clip)
{
    std::lock_guard<CDataLock> lk(m_lock);
    AddLocked(clip);
}

void CVideoClipCache::RemoveAtLocked(int index)
{
    const size_t at = static_cast<size_t>(index);
    const size_t last = m_Clips.size() - 1;
    m_Index.erase(NameOf(m_Clips[at]));
    if (at != last) {
        m_Clips[at] = m_Clips[last];
        m_Index[NameOf(m_Clips[at])] = index;
    }
    m_Clips.pop_back();
    if (m_Clips.empty()) std::vector<tagCLIP>().swap(m_Clips);
}

void CVideoClipCache::RemoveClip(const char *name)
{
    std::lock_guard<CDataLock> lk(m_lock);
    const int index = FindLocked(name);
    if (index >= 0) RemoveAtLocked(index);
}

void CVideoClipCache::ClearLocked()
{
    std::vector<tagCLIP>().swap(m_Clips);
    m_Index.clear();
}

void CVideoClipCache::RemoveAll()
{
    std::lock_guard<CDataLock> lk(m_lock);
    ClearLocked();
}

void CVideoClipCache::InvalidClip(const char *name)
{
    std::lock_guard<CDataLock> lk(m_lock);
    const int index = FindLocked(name);
    if (index >= 0) m_Clips[static_cast<size_t>(index)].dwTime = 0;
}

int CVideoClipCache::GetOutofDateClip(CStringArray &names, uint32_t age)
{
    names.RemoveAll();
    std::lock_guard<CDataLock> lk(m_lock);
    const uint32_t now = plat::GetTickCount();
    for (const tagCLIP &clip : m_Clips) {
        if (clip.szName[0] == 0) continue;
        const int32_t since = plat::TickDiff(now, clip.dwTime);
        if (since < 0 || static_cast<uint32_t>(since) > age) names.Add(NameOf(clip).c_str());
    }
    return names.GetSize();
}

void CVideoClipCache::RefreshCache(const CStringArray &names)
{
    std::vector<std::string> wanted;
    wanted.reserve(static_cast<size_t>(names.GetSize()));
    for (const CString &name : names) wanted.push_back(CutName(name.GetString()));
    {
        std::lock_guard<CDataLock> lk(m_lock);
        const std::unordered_set<std::string> keep(wanted.begin(), wanted.end());
        // From the end, so that the clip moved into a freed place has been looked at already.
        for (int i = static_cast<int>(m_Clips.size()) - 1; i >= 0; --i)
            if (!keep.count(NameOf(m_Clips[static_cast<size_t>(i)]))) RemoveAtLocked(i);
    }
    std::lock_guard<CDataLock> lk(m_lock);
    for (const std::string &name : wanted)
        if (!name.empty() && FindLocked(name.c_str()) < 0) AppendLocked(NewClip(name, 0));
}

void CVideoClipCache::Load(const CStringArray &ids, bool replace)
{
    std::lock_guard<CDataLock> lk(m_lock);
    if (replace) ClearLocked();
    for (const CString &id : ids) {
        tagCLIP clip = NewClip(CutName(id.GetString()), 0);
        AddLocked(clip);
    }
}

int CVideoClipCache::GetSize()
{
    std::lock_guard<CDataLock> lk(m_lock);
    return static_cast<int>(m_Clips.size());
}

int CVideoClipCache::IsValid() const
{
    int64_t now = 0;
    glGetTimeEx(&now);
    return now - int64_t{m_nValidSpan.load()} * kUnitsPerFrame < m_nLastLoadTime.load() ? 1 : 0;
}
