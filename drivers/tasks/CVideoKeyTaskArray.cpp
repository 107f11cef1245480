#include "drivers/tasks/CVideoKeyTaskArray.h"

#include "drivers/tasks/VideoTaskArray.h"

#include <cstring>

bool tagVideoKeyTask::IsFromGUI() const
{
    return std::strcmp(Source.szText, kKeyTaskSourceGUI) == 0;
}

namespace {

class CVideoKeyTaskArray_Impl final
    : public videotask::TaskArray<CVideoKeyTaskArray_Impl, IVideoKeyTaskArray, tagVideoKeyTask,
                                  videotask::IdSearch::Last> {
public:
    // The reserved words of a record in the array are 0.
    void Prepare(tagVideoKeyTask &task) { task.Reserved1 = task.Reserved2 = 0; }
};

} // namespace

IVideoKeyTaskArray *CreateVideoKeyTaskArray()
{
    return new CVideoKeyTaskArray_Impl;
}

CVideoKeyTaskArray::CVideoKeyTaskArray() : CVideoTaskPtr(CreateVideoKeyTaskArray()) {}
