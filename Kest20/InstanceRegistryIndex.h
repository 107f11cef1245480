// The instance registry's index of live framework objects: by address, and by instance name
// without case, so that finding one costs the same however many objects live. Not locked: the
// registry's lock guards it.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

class CClassA;

class CInstanceIndex {
public:
    // Lists `object` under its present name; `made` false keeps it out of Named until MarkMade.
    void Add(CClassA *object, bool made);
    void Remove(CClassA *object);
    // Lists a listed object again under its present name.
    void Rename(CClassA *object);
    void MarkMade(CClassA *object);
    bool Contains(const void *object) const;
    // The made objects listed under `name` (without case).
    const std::vector<CClassA *> &Named(const char *name) const;

private:
    struct Entry {
        std::string key; // upper-case name it is listed under
        bool made;
    };
    void Unlist(CClassA *object, const std::string &key);

    std::unordered_map<const void *, Entry> m_objects;
    std::unordered_map<std::string, std::vector<CClassA *>> m_byName;
};
