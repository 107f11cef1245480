#include "drivers/tasks/CVideoBroTaskArray.h"

#include "drivers/tasks/BroTaskLog.h"
#include "drivers/tasks/VideoTaskArray.h"

#include "KestLib20/CStrings.h"

#include <memory>
#include <utility>
#include <vector>

namespace {

class CVideoBroTaskArray_Impl final
    : public videotask::TaskArray<CVideoBroTaskArray_Impl, IVideoBroTaskArray, tagVideoBroTask> {
public:
    // Outside the range a fresh default record each time, so that a caller's change does not
    // reach the next caller; they go when the count next changes.
    tagVideoBroTask *Spare()
    {
        m_spares.push_back(std::make_unique<tagVideoBroTask>());
        return m_spares.back().get();
    }
    void Changed() { m_spares.clear(); }

    int32_t SortByStart(int32_t ascending) override
    {
        const int32_t count = Count();
        for (int32_t i = 0; i + 1 < count; ++i)
            for (int32_t j = i + 1; j < count; ++j) {
                const int64_t at = At(i)->Start;
                const int64_t later = At(j)->Start;
                if (ascending ? at > later : at <= later) SwapAt(i, j);
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
        for (int32_t i = 0; i < Count(); ++i) {
            const tagVideoBroTask &task = *At(i);
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
    std::vector<std::unique_ptr<tagVideoBroTask>> m_spares;
};

} // namespace

CVideoBroTaskArray::CVideoBroTaskArray() : CVideoTaskPtr(new CVideoBroTaskArray_Impl) {}
