#include "drivers/tasks/CVideoSwitchTaskArray.h"

#include <algorithm>
#include <atomic>
#include <vector>

namespace {

class CVideoSwitchTaskArray_Impl final : public IVideoSwitchTaskArray {
public:
    uint32_t AddRef() override { return ++m_nRef; }
    uint32_t Release() override
    {
        const uint32_t left = --m_nRef;
        if (left == 0) delete this;
        return left;
    }

    int32_t GetCount() override { return static_cast<int32_t>(m_tasks.size()); }

    int32_t SetSize(int32_t count) override
    {
        count = std::max(count, 0);
        videotask::Reserve(m_tasks, static_cast<size_t>(count));
        m_tasks.resize(static_cast<size_t>(count));
        return 1;
    }

    int32_t RemoveAt(int32_t index, int32_t n) override
    {
        if (index < 0 || index >= GetCount() || n <= 0) return 1;
        n = std::min(n, GetCount() - index);
        m_tasks.erase(m_tasks.begin() + index, m_tasks.begin() + index + n);
        return 1;
    }

    int32_t Add(const tagVideoSwitchTask &task) override
    {
        videotask::Reserve(m_tasks, m_tasks.size() + 1);
        m_tasks.push_back(task);
        return GetCount() - 1;
    }

    tagVideoSwitchTask *ElementAt(int32_t index) override
    {
        return index >= 0 && index < GetCount() ? &m_tasks[static_cast<size_t>(index)] : nullptr;
    }

    int32_t Append(IVideoSwitchTaskArray *other) override
    {
        if (!other || other == this) return other ? AppendSelf() : GetCount();
        const int32_t count = other->GetCount();
        for (int32_t i = 0; i < count; ++i) Add(*other->ElementAt(i));
        return GetCount();
    }

    int32_t Copy(IVideoSwitchTaskArray *other) override
    {
        if (other == this) return GetCount();
        m_tasks.clear();
        return Append(other);
    }

private:
    int32_t AppendSelf()
    {
        const std::vector<tagVideoSwitchTask> copy = m_tasks;
        for (const tagVideoSwitchTask &task : copy) Add(task);
        return GetCount();
    }

    std::atomic<uint32_t> m_nRef{1};
    std::vector<tagVideoSwitchTask> m_tasks;
};

} // namespace

IVideoSwitchTaskArray *CreateVideoSwitchTaskArray()
{
    return new CVideoSwitchTaskArray_Impl;
}

CVideoSwitchTaskArrayPtr::CVideoSwitchTaskArrayPtr() : CVideoTaskPtr(CreateVideoSwitchTaskArray())
{
}
