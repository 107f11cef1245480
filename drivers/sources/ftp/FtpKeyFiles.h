// Clips held as directories of key files and other files (Pinnacle video servers): the key
// file names, the check of copied key files, and the copy of one clip directory between two
// servers that refuses clips without their key files and removes a copy that does not check.
#pragma once

#include "drivers/KsOvra20Api.h"
#include "drivers/sources/ftp/CFtpClient.h"
#include "platform/Collections.h"

#include <cstdint>

// How a clip directory is removed at the destination: one RMD (the servers remove the
// directory with its files) or a recursive delete.
enum class KeyedClipRemoval { kRmd, kDeleteTree };

// "header", "ft", "std".
KSOVRA20_API void DefaultKeyFiles(CStringArray &keyFiles);

// How many of the `copied` key files check out: none when the destination listing failed,
// one less for every key file missing at the source or the destination, or larger than 1000
// bytes at the source and below 98% of that size at the destination.
KSOVRA20_API int CountVerifiedKeys(const CStringArray &keyFiles, int copied,
                                   const CArray<tagFtpEntry> &source,
                                   const CArray<tagFtpEntry> *dest);

// Copies the clip directory `clip` (below both clients' current directories): key files
// first in their order while the budget lasts, then, when they check out, the other files.
// 1 when the key files checked out; the copy is removed at the destination otherwise.
KSOVRA20_API int CopyKeyedClip(CFtpClient &source, CFtpClient &dest, const char *clip,
                               const CStringArray &keyFiles, uint32_t budgetMs,
                               KeyedClipRemoval removal);
