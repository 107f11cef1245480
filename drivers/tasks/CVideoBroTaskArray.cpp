#include "drivers/tasks/CVideoBroTaskArray.h"

#include "drivers/tasks/BroTaskLog.h"

#include "KestLib20/CStrings.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <utility>
#include <vector>

namespace {

class CVideoBroTaskArray_Impl final : public IVideoBroTaskArray {
public:
    CVideoBroTaskArray_Impl() { m_table.push_back(nullptr); }
    ~CVideoBroTaskArray_Impl() { DeleteRange(0, Count()); }
    CVideoBroTaskArray_Impl(const CVideoBroTaskArray_Impl &) = delete;
    CVideoBroTaskArray_Impl &operator=(const CVideoBroTaskArray_Impl &) = delete;

    uint32_t AddRef() override { return ++m_nRef; }
    uint32_t Release() override
    {
        const uint32_t left = --m_nRef;
        if (left == 0) delete this;
        return left;
    }

    tagVideoBroTask **GetData() override { return m_table.data(); }
    int32_t GetCount() override { return Count(); }

    int32_t SetSize(int32_t count) override
    {
        count = std::max(count, 0);
        const int32_t old = Count();
        if (count < old) {
            RemoveAt(count, old - count);
        } else if (count > old) {
            Reserve(count + 1);
            m_table.pop_back();
            for (int32_t i = old; i < count; ++i) m_table.push_back(new tagVideoBroTask);
            m_table.push_back(nullptr);
            m_spares.clear();
        }
        return 1;
    }

    int32_t GetAt(int32_t index, tagVideoBroTask &task) override
    {
        if (!InRange(index)) return 0;
        task = *m_table[index];
        return 1;
    }

    tagVideoBroTask *GetPtrAt(int32_t index) override
    {
        if (InRange(index)) return m_table[index];
        m_spares.push_back(std::make_unique<tagVideoBroTask>());
        return m_spares.back().get();
    }

    int32_t SetAt(int32_t index, const tagVideoBroTask &task) override
    {
        if (!InRange(index)) return 0;
        *m_table[index] = task;
        return 1;
    }

    tagVideoBroTask *Find(int32_t id) override
    {
        const int32_t index = IndexOf(id);
        return index >= 0 ? m_table[index] : nullptr;
    }

    int32_t IndexOf(int32_t id) override
    {
        if (id == 0) return -1;
        for (int32_t i = 0; m_table[i]; ++i)
            if (m_table[i]->TaskID == id) return i;
        return -1;
    }

    int32_t Add(const tagVideoBroTask &task) override
    {
        const int32_t index = Count();
        InsertAt(index, task);
        return index;
    }

    int32_t InsertAt(int32_t index, const tagVideoBroTask &task) override
    {
        auto copy = std::make_unique<tagVideoBroTask>(task);
        Reserve(Count() + 2);
        index = std::clamp(index, 0, Count());
        m_table.insert(m_table.begin() + index, copy.release());
        m_spares.clear();
        return 1;
    }

    int32_t RemoveAt(int32_t index, int32_t n) override
    {
        if (index < 0 || index >= Count() || n <= 0) return 1;
        n = std::min(n, Count() - index);
        DeleteRange(index, n);
        m_table.erase(m_table.begin() + index, m_table.begin() + index + n);
        m_spares.clear();
        return 1;
    }

    int32_t RemoveAll() override { return RemoveAt(0, Count()); }

    int32_t SortByStart(int32_t ascending) override
    {
        const int32_t count = Count();
        for (int32_t i = 0; i + 1 < count; ++i)
            for (int32_t j = i + 1; j < count; ++j) {
                const int64_t at = m_table[i]->Start;
                const int64_t later = m_table[j]->Start;
                if (ascending ? at > later : at <= later) std::swap(m_table[i], m_table[j]);
            }
        return 0;
    }

    int32_t SetParam(int32_t id, int32_t value, int32_t type, int32_t *old) override
    {
        tagVideoBroTask *task = Find(id);
        if (!task) return 0;
        int32_t before = 0;
        switch (type) {
        case BROTASK_PARAM_1:
            before = std::exchange(task->Param1, value);
            break;
        case BROTASK_PARAM_2:
            before =
                static_cast<int32_t>(std::exchange(task->Param2, static_cast<uint32_t>(value)));
            break;
        case BROTASK_PARAM_FLAGS:
            before = static_cast<int32_t>(task->Flags);
            task->Flags |= static_cast<uint32_t>(value);
            break;
        default:
            return 0;
        }
        if (old) *old = before;
        return 1;
    }

    int32_t GetParam(int32_t id, int32_t type, int32_t &value) override
    {
        const tagVideoBroTask *task = Find(id);
        if (!task) return 0;
        switch (type) {
        case BROTASK_PARAM_1:
            value = task->Param1;
            break;
        case BROTASK_PARAM_2:
            value = static_cast<int32_t>(task->Param2);
            break;
        case BROTASK_PARAM_FLAGS:
            value = static_cast<int32_t>(task->Flags);
            break;
        default:
            value = 0;
            break;
        }
        return 1;
    }

    int32_t SetValue(int32_t id, int32_t value, int32_t *old) override
    {
        tagVideoBroTask *task = Find(id);
        if (!task) return 0;
        const int32_t before = std::exchange(task->Value, value);
        if (before && old) *old = before;
        return 1;
    }

    int32_t GetValue(int32_t id, int32_t &value) override
    {
        const tagVideoBroTask *task = Find(id);
        if (!task) return 0;
        value = task->Value;
        return 1;
    }

    int32_t Dump(const char *path) override
    {
        CStrings lines;
        for (int32_t i = 0; m_table[i]; ++i) {
            const tagVideoBroTask &task = *m_table[i];
            CString line;
            line.Format("%08X; ID=%8s; Dev=%s; Time=%s; Op=%s;", static_cast<uint32_t>(task.TaskID),
                        task.ID.szText, task.Dev.szText,
                        brotask::DateTimeText(task.Start).GetString(),
                        task.IsTrigger() ? "Trigger" : "Time");
            lines.Add(line);
        }
        return lines.SaveToFile(path);
    }

private:
    int32_t Count() const { return static_cast<int32_t>(m_table.size()) - 1; }
    bool InRange(int32_t index) const { return index >= 0 && index < Count(); }

    void DeleteRange(int32_t index, int32_t n)
    {
        for (int32_t i = index + n - 1; i >= index; --i) delete m_table[i];
    }

    // Room for `entries` table entries, grown the way the platform's pointer arrays grow: by
    // an eighth of the table, at least 4 and at most 1024, or to what is needed.
    void Reserve(size_t entries)
    {
        if (entries <= m_table.capacity()) return;
        const size_t step = std::clamp<size_t>(m_table.size() / 8, 4, 1024);
        m_table.reserve(std::max(m_table.capacity() + step, entries));
    }

    std::atomic<uint32_t> m_nRef{1};
    std::vector<tagVideoBroTask *> m_table; // the records, then NULL
    std::vector<std::unique_ptr<tagVideoBroTask>> m_spares;
};

} // namespace

CVideoBroTaskArray::CVideoBroTaskArray() : _Impl(new CVideoBroTaskArray_Impl) {}

CVideoBroTaskArray::CVideoBroTaskArray(const CVideoBroTaskArray &other) : _Impl(other._Impl)
{
    _Impl->AddRef();
}

CVideoBroTaskArray &CVideoBroTaskArray::operator=(const CVideoBroTaskArray &other)
{
    other._Impl->AddRef();
    _Impl->Release();
    _Impl = other._Impl;
    return *this;
}

CVideoBroTaskArray::~CVideoBroTaskArray()
{
    _Impl->Release();
}
