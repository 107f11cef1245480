#include "drivers/sources/ftp/FtpKeyFiles.h"

#include "platform/TimeSource.h"

namespace {

constexpr int64_t kSmallKeyBytes = 1000;
constexpr double kMinCopiedShare = 0.98;
constexpr uint32_t kBudgetSpent = 0x0FFFFFFF;

const tagFtpEntry *Find(const CArray<tagFtpEntry> &entries, const CString &name)
{
    for (int i = 0; i < entries.GetSize(); ++i)
        if (entries[i].name == name) return &entries[i];
    return nullptr;
}

bool IsKey(const CStringArray &keyFiles, const CString &name)
{
    for (int i = 0; i < keyFiles.GetSize(); ++i)
        if (keyFiles[i] == name) return true;
    return false;
}

int Remove(CFtpClient &client, const char *clip, KeyedClipRemoval removal)
{
    return removal == KeyedClipRemoval::kRmd ? client.Rmd(clip) : client.DeleteTree(clip);
}

} // namespace

void DefaultKeyFiles(CStringArray &keyFiles)
{
    keyFiles.RemoveAll();
    keyFiles.Add("header");
    keyFiles.Add("ft");
    keyFiles.Add("std");
}

int CountVerifiedKeys(const CStringArray &keyFiles, int copied, const CArray<tagFtpEntry> &source,
                      const CArray<tagFtpEntry> *dest)
{
    int verified = dest ? copied : 0;
    for (int i = 0; i < keyFiles.GetSize(); ++i) {
        const tagFtpEntry *from = Find(source, keyFiles[i]);
        const tagFtpEntry *to = dest ? Find(*dest, keyFiles[i]) : nullptr;
        if (!from || !to ||
            (from->size > kSmallKeyBytes &&
             static_cast<double>(to->size) < kMinCopiedShare * static_cast<double>(from->size)))
            --verified;
    }
    return verified;
}

int CopyKeyedClip(CFtpClient &source, CFtpClient &dest, const char *clip,
                  const CStringArray &keyFiles, uint32_t budgetMs, KeyedClipRemoval removal)
{
    if (!source.Cwd(clip)) return 0;
    CArray<tagFtpEntry> entries;
    if (!source.ListDir(nullptr, entries)) {
        source.Cwd("..");
        return 0;
    }
    for (int i = 0; i < keyFiles.GetSize(); ++i) {
        const tagFtpEntry *key = Find(entries, keyFiles[i]);
        if (!key || key->type != tagFtpEntry::kFile) {
            source.Cwd("..");
            return 0;
        }
    }

    Remove(dest, clip, removal);
    dest.Mkd(clip);
    if (!dest.Cwd(clip)) {
        source.Cwd("..");
        return 0;
    }
    int copied = 0;
    for (int i = 0; i < keyFiles.GetSize(); ++i) {
        const uint32_t start = plat::GetTickCount();
        if (!source.CopyTo(keyFiles[i], dest, budgetMs)) break;
        ++copied;
        budgetMs -= plat::TickElapsed(start);
        if (budgetMs > kBudgetSpent) break;
    }
    CArray<tagFtpEntry> copies;
    const bool listed = dest.ListDir(nullptr, copies) != 0;
    const int verified = CountVerifiedKeys(keyFiles, copied, entries, listed ? &copies : nullptr);
    const bool ok = verified == keyFiles.GetSize();
    if (ok)
        for (int i = 0; i < entries.GetSize(); ++i)
            if (entries[i].type == tagFtpEntry::kFile && !IsKey(keyFiles, entries[i].name))
                source.CopyTo(entries[i].name, dest, budgetMs);
    dest.Cwd("..");
    source.Cwd("..");
    if (!ok) Remove(dest, clip, removal);
    return ok ? 1 : 0;
}
