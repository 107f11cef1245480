// The class-library collections: CArray and its named kinds, CList with POSITION walks, and
// the string and pointer maps. Maps iterate in insertion order, so walks are repeatable.
// Indices are int; a bad index or a null POSITION throws std::out_of_range.
#pragma once

#include "platform/String.h"

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <list>
#include <stdexcept>
#include <type_traits>
#include <unordered_map>
#include <utility>
#include <vector>

// Opaque place in a CList or a map; null is past the end.
using POSITION = struct PositionTag *;

template <typename TYPE, typename ARG_TYPE = const TYPE &> class CArray {
    static_assert(!std::is_same_v<TYPE, bool>, "vector<bool> has no element references");

public:
    int GetSize() const { return static_cast<int>(m_items.size()); }
    int GetCount() const { return GetSize(); }
    int GetUpperBound() const { return GetSize() - 1; }
    bool IsEmpty() const { return m_items.empty(); }

    // New elements are value-initialised (zero for numbers and pointers). The growth step is
    // the vector's own; growBy is accepted for the familiar signature.
    void SetSize(int newSize, int growBy = -1)
    {
        (void)growBy;
        if (newSize < 0) throw std::out_of_range("CArray::SetSize");
        m_items.resize(static_cast<size_t>(newSize));
    }

    const TYPE &GetAt(int index) const { return m_items[Checked(index)]; }
    TYPE &GetAt(int index) { return m_items[Checked(index)]; }
    void SetAt(int index, ARG_TYPE value) { m_items[Checked(index)] = value; }
    TYPE &ElementAt(int index) { return m_items[Checked(index)]; }
    const TYPE &ElementAt(int index) const { return m_items[Checked(index)]; }
    TYPE &operator[](int index) { return m_items[Checked(index)]; }
    const TYPE &operator[](int index) const { return m_items[Checked(index)]; }
    TYPE *GetData() { return m_items.data(); }
    const TYPE *GetData() const { return m_items.data(); }

    int Add(ARG_TYPE value)
    {
        m_items.push_back(TYPE(value));
        return GetSize() - 1;
    }

    // Returns the index of the first appended element.
    int Append(const CArray &src)
    {
        const int first = GetSize();
        if (&src == this) {
            m_items.reserve(m_items.size() * 2);
            std::copy_n(m_items.begin(), first, std::back_inserter(m_items));
        } else {
            m_items.insert(m_items.end(), src.m_items.begin(), src.m_items.end());
        }
        return first;
    }

    void Copy(const CArray &src)
    {
        if (&src != this) m_items = src.m_items;
    }

    // An index past the end first grows the array to it.
    void InsertAt(int index, ARG_TYPE value, int count = 1)
    {
        if (index < 0 || count < 0) throw std::out_of_range("CArray::InsertAt");
        TYPE copy(value); // value may be one of our own elements
        if (index > GetSize()) m_items.resize(static_cast<size_t>(index));
        m_items.insert(m_items.begin() + index, static_cast<size_t>(count), copy);
    }

    void RemoveAt(int index, int count = 1)
    {
        if (index < 0 || count < 0 || count > GetSize() - index)
            throw std::out_of_range("CArray::RemoveAt");
        m_items.erase(m_items.begin() + index, m_items.begin() + index + count);
    }

    void RemoveAll() { m_items.clear(); }

    void SetAtGrow(int index, ARG_TYPE value)
    {
        if (index < 0) throw std::out_of_range("CArray::SetAtGrow");
        TYPE copy(value);
        if (index >= GetSize()) m_items.resize(static_cast<size_t>(index) + 1);
        m_items[static_cast<size_t>(index)] = std::move(copy);
    }

    TYPE *begin() { return m_items.data(); }
    TYPE *end() { return m_items.data() + m_items.size(); }
    const TYPE *begin() const { return m_items.data(); }
    const TYPE *end() const { return m_items.data() + m_items.size(); }

private:
    size_t Checked(int index) const
    {
        if (index < 0 || index >= GetSize()) throw std::out_of_range("CArray index");
        return static_cast<size_t>(index);
    }

    std::vector<TYPE> m_items;
};

class CStringArray : public CArray<CString> {};
class CPtrArray : public CArray<void *, void *> {};
class CDWordArray : public CArray<uint32_t, uint32_t> {};
class CByteArray : public CArray<uint8_t, uint8_t> {};
class CUIntArray : public CArray<unsigned int, unsigned int> {};

namespace plat::detail {

// A std::list whose entries know their own iterator, so that a POSITION (the entry's address)
// leads back to its place in the list. Entries never move, so positions stay valid until
// their entry is removed. Not copyable: a copy's entries would point into the original.
template <typename ENTRY_DATA> class PositionList {
public:
    struct Entry;
    using Items = std::list<Entry>;
    struct Entry {
        ENTRY_DATA data;
        typename Items::iterator self;
    };

    PositionList() = default;
    PositionList(const PositionList &) = delete;
    PositionList &operator=(const PositionList &) = delete;

    Items &items() { return m_items; }
    const Items &items() const { return m_items; }

    Entry &Insert(typename Items::const_iterator where, ENTRY_DATA data)
    {
        auto it = m_items.insert(where, Entry{std::move(data), {}});
        it->self = it;
        return *it;
    }

    static POSITION ToPos(const Entry &e)
    {
        return reinterpret_cast<POSITION>(const_cast<Entry *>(&e));
    }
    POSITION ToPos(typename Items::const_iterator it) const
    {
        return it == m_items.end() ? nullptr : ToPos(*it);
    }
    static Entry &FromPos(POSITION pos)
    {
        if (!pos) throw std::out_of_range("null POSITION");
        return *reinterpret_cast<Entry *>(pos);
    }

private:
    Items m_items;
};

} // namespace plat::detail

template <typename TYPE, typename ARG_TYPE = const TYPE &> class CList {
public:
    int GetCount() const { return static_cast<int>(m_list.items().size()); }
    int GetSize() const { return GetCount(); }
    bool IsEmpty() const { return m_list.items().empty(); }

    POSITION AddHead(ARG_TYPE value) { return Insert(m_list.items().begin(), value); }
    POSITION AddTail(ARG_TYPE value) { return Insert(m_list.items().end(), value); }

    TYPE RemoveHead()
    {
        TYPE value = std::move(GetHead());
        m_list.items().pop_front();
        return value;
    }
    TYPE RemoveTail()
    {
        TYPE value = std::move(GetTail());
        m_list.items().pop_back();
        return value;
    }

    TYPE &GetHead() { return NotEmpty().front().data; }
    const TYPE &GetHead() const { return NotEmpty().front().data; }
    TYPE &GetTail() { return NotEmpty().back().data; }
    const TYPE &GetTail() const { return NotEmpty().back().data; }

    POSITION GetHeadPosition() const { return m_list.ToPos(m_list.items().begin()); }
    POSITION GetTailPosition() const
    {
        return IsEmpty() ? nullptr : m_list.ToPos(m_list.items().back());
    }

    // Return the element at pos and move pos to the next (previous) one, null past the end.
    TYPE &GetNext(POSITION &pos) { return Step(pos, true); }
    const TYPE &GetNext(POSITION &pos) const { return Step(pos, true); }
    TYPE &GetPrev(POSITION &pos) { return Step(pos, false); }
    const TYPE &GetPrev(POSITION &pos) const { return Step(pos, false); }

    TYPE &GetAt(POSITION pos) { return List::FromPos(pos).data; }
    const TYPE &GetAt(POSITION pos) const { return List::FromPos(pos).data; }
    void SetAt(POSITION pos, ARG_TYPE value) { List::FromPos(pos).data = value; }
    void RemoveAt(POSITION pos) { m_list.items().erase(List::FromPos(pos).self); }

    // A null position inserts at the head (before) or the tail (after).
    POSITION InsertBefore(POSITION pos, ARG_TYPE value)
    {
        return pos ? Insert(List::FromPos(pos).self, value) : AddHead(value);
    }
    POSITION InsertAfter(POSITION pos, ARG_TYPE value)
    {
        return pos ? Insert(std::next(List::FromPos(pos).self), value) : AddTail(value);
    }

    POSITION Find(ARG_TYPE value, POSITION startAfter = nullptr) const
    {
        auto it =
            startAfter
                ? typename List::Items::const_iterator(std::next(List::FromPos(startAfter).self))
                : m_list.items().begin();
        for (; it != m_list.items().end(); ++it)
            if (it->data == value) return m_list.ToPos(it);
        return nullptr;
    }

    POSITION FindIndex(int index) const
    {
        if (index < 0 || index >= GetCount()) return nullptr;
        return m_list.ToPos(std::next(m_list.items().begin(), index));
    }

    void RemoveAll() { m_list.items().clear(); }

private:
    using List = plat::detail::PositionList<TYPE>;

    TYPE &Step(POSITION &pos, bool forward) const
    {
        auto &e = List::FromPos(pos);
        if (forward)
            pos = m_list.ToPos(std::next(e.self));
        else
            pos = e.self == m_list.items().begin() ? nullptr : List::ToPos(*std::prev(e.self));
        return e.data;
    }

    POSITION Insert(typename List::Items::const_iterator where, ARG_TYPE value)
    {
        return List::ToPos(m_list.Insert(where, TYPE(value)));
    }
    const typename List::Items &NotEmpty() const
    {
        if (IsEmpty()) throw std::out_of_range("CList is empty");
        return m_list.items();
    }
    typename List::Items &NotEmpty()
    {
        if (IsEmpty()) throw std::out_of_range("CList is empty");
        return m_list.items();
    }

    List m_list;
};

class CPtrList : public CList<void *, void *> {};
class CStringList : public CList<CString, const char *> {};

namespace plat::detail {

// Hash map that keeps its entries in insertion order: a new key goes to the end, setting an
// existing key keeps its place, and removing one leaves the others' order alone.
template <typename KEY, typename ARG_KEY, typename VALUE, typename ARG_VALUE> class OrderedMap {
public:
    int GetCount() const { return static_cast<int>(m_index.size()); }
    int GetSize() const { return GetCount(); }
    bool IsEmpty() const { return m_index.empty(); }

    bool Lookup(ARG_KEY key, VALUE &value) const
    {
        const auto found = m_index.find(KEY(key));
        if (found == m_index.end()) return false;
        value = found->second->data.second;
        return true;
    }

    // A new key gets a value-initialised value (an empty text, a null pointer).
    VALUE &operator[](ARG_KEY key)
    {
        KEY k(key);
        auto found = m_index.find(k);
        if (found != m_index.end()) return found->second->data.second;
        auto &entry = m_list.Insert(m_list.items().end(), {k, VALUE()});
        m_index.emplace(std::move(k), entry.self);
        return entry.data.second;
    }

    void SetAt(ARG_KEY key, ARG_VALUE value) { (*this)[key] = value; }

    bool RemoveKey(ARG_KEY key)
    {
        const auto found = m_index.find(KEY(key));
        if (found == m_index.end()) return false;
        m_list.items().erase(found->second);
        m_index.erase(found);
        return true;
    }

    void RemoveAll()
    {
        m_index.clear();
        m_list.items().clear();
    }

    POSITION GetStartPosition() const { return m_list.ToPos(m_list.items().begin()); }

    // Fills key and value from the entry at pos and moves pos on (null after the last). The
    // entry just returned may be removed without disturbing the walk.
    void GetNextAssoc(POSITION &pos, KEY &key, VALUE &value) const
    {
        const auto &e = List::FromPos(pos);
        pos = m_list.ToPos(std::next(e.self));
        key = e.data.first;
        value = e.data.second;
    }

private:
    using List = PositionList<std::pair<KEY, VALUE>>;

    List m_list;
    std::unordered_map<KEY, typename List::Items::iterator> m_index;
};

} // namespace plat::detail

class CMapStringToString
    : public plat::detail::OrderedMap<CString, const char *, CString, const char *> {};
class CMapStringToPtr : public plat::detail::OrderedMap<CString, const char *, void *, void *> {};
class CMapPtrToPtr : public plat::detail::OrderedMap<void *, void *, void *, void *> {};
