#include "drivers/tasks/CVideoRecTaskList.h"

#include "drivers/tasks/CVideoRecTaskListImpl.h"

namespace {

using tagKeyName = string_traits<char>::tagKeyName;

const tagKeyName *RowOfKey(const tagKeyName *table, int key)
{
    for (const tagKeyName *row = table; row->key || row->name; ++row)
        if (row->key == key) return row;
    return nullptr;
}

int KeyOfName(const tagKeyName *table, const char *name)
{
    const tagKeyName *row = nullptr;
    return name && table->FindByName(name, &row, true) ? row->key : 0;
}

// The handles share their own count: the task threads hold the list too, and must not keep its
// tasks running when the last handle goes.
std::shared_ptr<CVideoRecTaskList_Impl> NewList()
{
    auto list = std::make_shared<CVideoRecTaskList_Impl>();
    return {list.get(), [list](CVideoRecTaskList_Impl *) { list->RemoveAll(); }};
}

} // namespace

CVideoRecTaskList::CVideoRecTaskList() : _Impl(NewList()) {}

CVideoRecTaskList::~CVideoRecTaskList() = default;

CVideoRecTaskList::CVideoRecTaskList(const CVideoRecTaskList &other) = default;

CVideoRecTaskList &CVideoRecTaskList::operator=(const CVideoRecTaskList &other) = default;

CString CVideoRecTaskList::TaskTypeToString(int type)
{
    const tagKeyName *row = RowOfKey(gTaskTypeEnum, type);
    return row ? row->name : "";
}

CString CVideoRecTaskList::TaskStatusToString(int status)
{
    const tagKeyName *row = RowOfKey(gTaskStatusEnum, status);
    return row ? row->name : "";
}

int CVideoRecTaskList::StringToTaskType(const char *name)
{
    return KeyOfName(gTaskTypeEnum, name);
}

int CVideoRecTaskList::StringToTaskStatus(const char *name)
{
    return KeyOfName(gTaskStatusEnum, name);
}

int CVideoRecTaskList::GetTaskStatusInfo(int status, CString &info)
{
    const tagKeyName *row = RowOfKey(gTaskStatusEnum, status);
    if (!row) return 0;
    info = row->info;
    return 1;
}

int CVideoRecTaskList::GetTaskErrInfo(int bits, CStringArray &texts)
{
    for (const tagKeyName *row = gTaskErrorMsg; row->key || row->name; ++row)
        if (bits & row->key) texts.Add(row->name);
    return texts.GetSize();
}

int CVideoRecTaskList::GetLastTaskError(int bits, CString &text)
{
    text.Empty();
    for (const tagKeyName *row = gTaskErrorMsg; row->key || row->name; ++row)
        if (bits & row->key) text = row->name;
    return text.IsEmpty() ? 0 : 1;
}

int CVideoRecTaskList::Submit(CVideoRecTask &task)
{
    return _Impl->Submit(task);
}

int CVideoRecTaskList::RemoveTask(const char *id)
{
    return _Impl->RemoveTask(id);
}

int CVideoRecTaskList::RemoveAll()
{
    return _Impl->RemoveAll();
}

int CVideoRecTaskList::AbortTask(const char *id, int keep)
{
    return _Impl->AbortTask(id, keep);
}

int CVideoRecTaskList::GetTaskIDList(CStringArray &ids)
{
    return _Impl->GetTaskIDList(ids);
}

int CVideoRecTaskList::GetTaskCount()
{
    return _Impl->GetTaskCount();
}

int CVideoRecTaskList::GetTaskAt(const char *id, CVideoRecTask &task)
{
    return _Impl->GetTaskAt(id, task);
}

int CVideoRecTaskList::GetTaskAt(int index, CVideoRecTask &task)
{
    return _Impl->GetTaskAt(index, task);
}

int CVideoRecTaskList::GetTaskIDArrByTapeID(const char *tape, CStringArray &ids)
{
    return _Impl->GetTaskIDArrByTapeID(tape, ids);
}

void CVideoRecTaskList::ClearFinishedJob()
{
    _Impl->ClearFinishedJob();
}

int CVideoRecTaskList::DevIsFree(CString id)
{
    return _Impl->DevIsFree(id);
}

void CVideoRecTaskList::ModifyTaskStatus(CString id, int32_t status)
{
    _Impl->ModifyTaskStatus(id, status);
}

int32_t CVideoRecTaskList::GetTaskStatus(CString id)
{
    return _Impl->GetTaskStatus(id);
}

void CVideoRecTaskList::SetOption(const char *) {}

CVideoRecTaskList::Controller CVideoRecTaskList::GetController(const char *id)
{
    return Controller{this, id};
}
