#include "drivers/tasks/CVideoKeyTaskArray.h"

#include "drivers/tasks/KeySwitchTaskShared.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <vector>

bool tagVideoKeyTask::IsFromGUI() const
{
    return std::strcmp(Source.szText, kKeyTaskSourceGUI) == 0;
}

namespace {

class CVideoKeyTaskArray_Impl final : public IVideoKeyTaskArray {
public:
    CVideoKeyTaskArray_Impl() { m_table.push_back(nullptr); }
    ~CVideoKeyTaskArray_Impl() { DeleteRange(0, Count()); }
    CVideoKeyTaskArray_Impl(const CVideoKeyTaskArray_Impl &) = delete;
    CVideoKeyTaskArray_Impl &operator=(const CVideoKeyTaskArray_Impl &) = delete;

    uint32_t AddRef() override { return ++m_nRef; }
    uint32_t Release() override
    {
        const uint32_t left = --m_nRef;
        if (left == 0) delete this;
        return left;
    }

    tagVideoKeyTask **GetData() override { return m_table.data(); }
    int32_t GetCount() override { return Count(); }

    int32_t SetSize(int32_t count) override
    {
        count = std::max(count, 0);
        const int32_t old = Count();
        if (count < old) return RemoveAt(count, old - count);
        videotask::Reserve(m_table, static_cast<size_t>(count) + 1);
        m_table.pop_back();
        for (int32_t i = old; i < count; ++i) m_table.push_back(new tagVideoKeyTask);
        m_table.push_back(nullptr);
        return 1;
    }

    int32_t GetAt(int32_t index, tagVideoKeyTask &task) override
    {
        if (!InRange(index)) return 0;
        task = *m_table[index];
        return 1;
    }

    tagVideoKeyTask *GetPtrAt(int32_t index) override
    {
        if (InRange(index)) return m_table[index];
        m_empty = tagVideoKeyTask{};
        return &m_empty;
    }

    int32_t SetAt(int32_t index, const tagVideoKeyTask &task) override
    {
        if (!InRange(index)) return 0;
        *m_table[index] = task;
        return 1;
    }

    tagVideoKeyTask *Find(int32_t id) override
    {
        const int32_t index = IndexOf(id);
        return index >= 0 ? m_table[index] : nullptr;
    }

    int32_t IndexOf(int32_t id) override
    {
        for (int32_t i = Count() - 1; i >= 0; --i)
            if (m_table[i]->TaskID == id) return i;
        return -1;
    }

    int32_t Add(const tagVideoKeyTask &task) override
    {
        const int32_t index = Count();
        InsertAt(index, task);
        return index;
    }

    int32_t InsertAt(int32_t index, const tagVideoKeyTask &task) override
    {
        auto *copy = new tagVideoKeyTask(task);
        copy->Reserved1 = copy->Reserved2 = 0;
        videotask::Reserve(m_table, m_table.size() + 1);
        index = std::clamp(index, 0, Count());
        m_table.insert(m_table.begin() + index, copy);
        return 1;
    }

    int32_t RemoveAt(int32_t index, int32_t n) override
    {
        if (index < 0 || index >= Count() || n <= 0) return 1;
        n = std::min(n, Count() - index);
        DeleteRange(index, n);
        m_table.erase(m_table.begin() + index, m_table.begin() + index + n);
        return 1;
    }

    int32_t RemoveAll() override { return RemoveAt(0, Count()); }

private:
    int32_t Count() const { return static_cast<int32_t>(m_table.size()) - 1; }
    bool InRange(int32_t index) const { return index >= 0 && index < Count(); }
    void DeleteRange(int32_t index, int32_t n)
    {
        for (int32_t i = index; i < index + n; ++i) delete m_table[i];
    }

    std::atomic<uint32_t> m_nRef{1};
    std::vector<tagVideoKeyTask *> m_table; // the records, then NULL
    tagVideoKeyTask m_empty;
};

} // namespace

IVideoKeyTaskArray *CreateVideoKeyTaskArray()
{
    return new CVideoKeyTaskArray_Impl;
}

CVideoKeyTaskArray::CVideoKeyTaskArray() : CVideoTaskPtr(CreateVideoKeyTaskArray()) {}
