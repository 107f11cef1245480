// The name tables of task types, task statuses and task error bits that control programs show
// to operators: rows {key, name, info} ended by a row whose key and name are 0.
#pragma once

#include "KestLib20/string_traits.h"
#include "drivers/KsOvra20Api.h"

extern KSOVRA20_API const string_traits<char>::tagKeyName gTaskTypeEnum[];
extern KSOVRA20_API const string_traits<char>::tagKeyName gTaskStatusEnum[];
// The name column holds the text of each error bit; the info column is empty.
extern KSOVRA20_API const string_traits<char>::tagKeyName gTaskErrorMsg[];
