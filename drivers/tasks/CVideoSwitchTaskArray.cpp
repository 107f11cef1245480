#include "drivers/tasks/CVideoSwitchTaskArray.h"

#include "drivers/tasks/VideoTaskArray.h"

#include <vector>

namespace {

class CVideoSwitchTaskArray_Impl final
    : public videotask::TaskArray<CVideoSwitchTaskArray_Impl, IVideoSwitchTaskArray,
                                  tagVideoSwitchTask> {
public:
    int32_t Append(IVideoSwitchTaskArray *other) override
    {
        if (!other) return GetCount();
        // From itself: the records as they were before the first one was added.
        std::vector<tagVideoSwitchTask> copies;
        const int32_t count = other->GetCount();
        for (int32_t i = 0; i < count; ++i) copies.push_back(*other->ElementAt(i));
        for (const tagVideoSwitchTask &task : copies) Add(task);
        return GetCount();
    }

    int32_t Copy(IVideoSwitchTaskArray *other) override
    {
        if (other == this) return GetCount();
        RemoveAll();
        return Append(other);
    }
};

} // namespace

IVideoSwitchTaskArray *CreateVideoSwitchTaskArray()
{
    return new CVideoSwitchTaskArray_Impl;
}

CVideoSwitchTaskArrayPtr::CVideoSwitchTaskArrayPtr() : CVideoTaskPtr(CreateVideoSwitchTaskArray())
{
}
