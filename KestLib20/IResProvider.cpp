#include "KestLib20/IResProvider.h"

#include "KestLib20/KestNamedPtr.h"
#include "platform/Gbk.h"

#include <cctype>
#include <cstring>

namespace {

bool IsPathChar(unsigned char c)
{
    return (c < 0x80 && std::isalnum(c)) || std::strchr("~!@#$&-_ ./", c);
}

bool Equal(const char *a, const char *b)
{
    return plat::GbkCompareNoCase(a, b) == 0;
}

// Every provider slot of the process in named-pointer order, stopping when `visit` answers
// true. A slot that no longer holds a provider is skipped. A provider may be destroyed on
// another thread at any time: its slot is read under the lock of the manager that holds it,
// where the provider's destruction empties it, and the provider is held by a reference for
// as long as `visit` uses it; its destruction waits for that reference.
template <typename Visit> void ForEachProvider(Visit visit)
{
    IKestNamedPtr *manager = nullptr;
    void **slot = nullptr;
    while (void **next = glGetNextNamedPtr(IResProvider::kNamedPtrType, &manager, &slot)) {
        IResProvider *provider = nullptr;
        manager->LockServer(1);
        // The slot itself goes with its provider: read only one the manager still holds.
        if (manager->GetNamedPtrInfo(next, nullptr, nullptr, 0)) {
            provider = static_cast<IResProvider *>(__atomic_load_n(next, __ATOMIC_ACQUIRE));
            if (provider) provider->AddRef();
        }
        manager->LockServer(0);
        if (!provider) continue;
        const bool stop = visit(provider);
        provider->Release();
        if (stop) return;
    }
}

void AddOnce(CStringArray &names, const char *name)
{
    for (const CString &held : names)
        if (Equal(held, name)) return;
    names.Add(name);
}

} // namespace

int IResProvider::AnalysisKey(char *path, const char **parts, int &count, int pack)
{
    const int slots = count;
    count = 0;
    if (!parts || slots < 1) return 0;
    parts[0] = nullptr;
    if (!path) return 0;

    // GBK two-byte characters are kept whole: their trail byte may look like a backslash.
    for (char *p = path; *p; ++p) {
        const auto c = static_cast<unsigned char>(*p);
        if (plat::IsGbkLead(c) && p[1]) {
            ++p;
        } else if (c == '\\') {
            *p = '/';
        } else if (!IsPathChar(c)) {
            *p = ' ';
        }
    }

    char *p = path;
    while (*p == ' ') ++p;
    while (*p) {
        while (*p == '/') ++p;
        if (!*p) break;
        char *part = p;
        while (*p && *p != '/')
            p += plat::IsGbkLead(static_cast<unsigned char>(*p)) && p[1] ? 2 : 1;
        char *end = p;
        if (*p) ++p;
        while (end > part && end[-1] == ' ') --end;
        *end = '\0';
        // A part of spaces only is empty once trimmed: empty parts do not occur.
        if (end > part && count < slots - 1) parts[count++] = part;
    }
    parts[count] = nullptr;
    if (pack) count = Pack(parts, nullptr);
    return count;
}

int IResProvider::KeyToString(const char *const *parts, char *buffer, int size)
{
    if (!buffer || size < 1) return 0;
    int length = 0;
    for (; parts && *parts; ++parts) {
        const int n = static_cast<int>(std::strlen(*parts));
        if (length + 1 + n >= size) break;
        buffer[length++] = '/';
        std::memcpy(buffer + length, *parts, static_cast<size_t>(n));
        length += n;
    }
    buffer[length] = '\0';
    return length;
}

const char *const *IResProvider::IsKindOf(const char *const *prefix, const char *const *parts)
{
    if (!prefix || !parts) return nullptr;
    for (; *prefix; ++prefix, ++parts)
        if (!*parts || !Equal(*prefix, *parts)) return nullptr;
    return parts;
}

int IResProvider::KeyLength(const char *const *parts)
{
    int n = 0;
    while (parts && parts[n]) ++n;
    return n;
}

void IResProvider::Delete(const char **part)
{
    if (!part || !*part) return;
    for (; *part; ++part) part[0] = part[1];
}

int IResProvider::Pack(const char **parts, int *removed)
{
    const int before = KeyLength(parts);
    for (int i = 0; parts && parts[i];) {
        if (std::strcmp(parts[i], ".") == 0)
            Delete(parts + i);
        else
            ++i;
    }
    for (int i = 0; parts && parts[i];) {
        if (i > 0 && std::strcmp(parts[i], "..") == 0) {
            Delete(parts + i);
            Delete(parts + i - 1);
            --i;
        } else {
            ++i;
        }
    }
    const int after = KeyLength(parts);
    if (removed) *removed = before - after;
    return after;
}

int32_t IResProvider::SmartAccess(const char *const *key, int32_t operation, int32_t *handled,
                                  int stopAtFirst, const CVariant *in, int32_t inCount,
                                  CVariant *out, int32_t outCount)
{
    int32_t local = 0;
    if (!handled) handled = &local;
    *handled = 0;
    int32_t result = 0;
    ForEachProvider([&](IResProvider *provider) {
        result = provider->Access(key, operation, handled, in, inCount, out, outCount);
        return stopAtFirst && *handled;
    });
    return result;
}

int IResProvider::SmartEnumSub(const char *const *key, const char *pattern, int32_t flags,
                               CStringArray &names)
{
    names.RemoveAll();
    ForEachProvider([&](IResProvider *provider) {
        const char *const *below = IsKindOf(key, provider->GetRootKey());
        if (below && *below) AddOnce(names, *below);
        return false;
    });

    const CVariant in[2] = {CVariant::FromText(pattern), CVariant(flags)};
    ForEachProvider([&](IResProvider *provider) {
        CVariant answer;
        int32_t handled = 0;
        if (!provider->Access(key, RES_ENUMSUB, &handled, in, 2, &answer, 1)) return false;
        const CString text = answer.ToText();
        for (int from = 0, slash; (slash = text.Find('/', from)) >= 0; from = slash + 1)
            names.Add(text.Mid(from, slash - from));
        return false;
    });
    return 1;
}
