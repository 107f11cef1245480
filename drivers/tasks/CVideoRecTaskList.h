// The record task list: runs dubbing jobs, one thread per task, from the device checks through
// cue, start, recording and stop to parking the tape (see CVideoRecTask), and names task types,
// statuses and error bits for operators.
//
// The exported handle: copies share one list; when the last handle goes, the list's tasks are
// removed and their threads stopped.
#pragma once

#include "drivers/KsOvra20Api.h"
#include "drivers/tasks/CVideoRecTask.h"
#include "drivers/tasks/VideoTaskEnums.h"
#include "platform/Collections.h"
#include "platform/String.h"

#include <cstdint>
#include <memory>

class CVideoRecTaskList_Impl;

class KSOVRA20_API CVideoRecTaskList {
public:
    // One task of one list, as a value.
    struct Controller {
        CVideoRecTaskList *pList = nullptr;
        CString strTaskID;
    };

    CVideoRecTaskList();
    ~CVideoRecTaskList();
    CVideoRecTaskList(const CVideoRecTaskList &other);
    CVideoRecTaskList &operator=(const CVideoRecTaskList &other);

    // The row's name; "" when no row has the key.
    static CString TaskTypeToString(int type);
    static CString TaskStatusToString(int status);
    // The key of the row named exactly so; 0 when none.
    static int StringToTaskType(const char *name);
    static int StringToTaskStatus(const char *name);
    // Nonzero and the row's info text; 0 with `info` untouched when no row has the status.
    static int GetTaskStatusInfo(int status, CString &info);
    // Appends the text of every error row whose bit is set, in table order; the array's size.
    static int GetTaskErrInfo(int bits, CStringArray &texts);
    // The text of the highest set bit that has a row ("" when none); nonzero when found.
    static int GetLastTaskError(int bits, CString &text);

    // Takes a copy of the task and starts its thread: 1; 0 when its recorder, or its source
    // (unless the tape type holds "LVSRC_LINE"), is used by another task.
    int Submit(CVideoRecTask &task);
    // Takes the first task of the id out of the list and stops its thread: 1; 0 when none.
    int RemoveTask(const char *id);
    int RemoveAll();
    // Below BEGINREC: ABORT; from there ABORTING, or REVERSEABORT when the clip is kept. 1.
    int AbortTask(const char *id, int keep);
    int GetTaskIDList(CStringArray &ids);
    int GetTaskCount();
    // 1 and a copy of the task; 0 when there is no such id or index.
    int GetTaskAt(const char *id, CVideoRecTask &task);
    int GetTaskAt(int index, CVideoRecTask &task);
    // The tasks whose tape id (trimmed, its last 8 characters) equals `tape`; their count.
    int GetTaskIDArrByTapeID(const char *tape, CStringArray &ids);
    // Removes the tasks whose thread has ended or that have finished or been aborted.
    void ClearFinishedJob();
    // 0 when a task uses the device as source or recorder (without case), else 1.
    int DevIsFree(CString id);
    // Stores the status; no callback.
    void ModifyTaskStatus(CString id, int32_t status);
    // The stored status; ABORT when there is no such task.
    int32_t GetTaskStatus(CString id);
    // No options are defined; the text is accepted and nothing kept.
    void SetOption(const char *options);
    Controller GetController(const char *id);

private:
    std::shared_ptr<CVideoRecTaskList_Impl> _Impl;
};
