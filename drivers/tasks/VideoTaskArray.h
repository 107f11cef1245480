// The one implementation behind the task array interfaces (broadcast, key and switcher
// tasks): a reference-counted array that owns its records through a NULL-terminated table of
// record pointers, grown the way the platform's arrays grow. Each array derives from it
// (CRTP), answers its own interface and adds what only it has. No lock: its holder guards it.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

namespace videotask {

// Room for `needed` entries, grown the way the platform's arrays grow: by an eighth of the
// array, at least 4 and at most 1024 entries, or to what is needed.
template <class T> void Reserve(std::vector<T> &array, size_t needed)
{
    if (needed <= array.capacity()) return;
    const size_t step = std::clamp<size_t>(array.size() / 8, 4, 1024);
    array.reserve(std::max(array.capacity() + step, needed));
}

// How IndexOf and Find look for a task id.
enum class IdSearch {
    FirstNonZero, // the first record of the id; id 0 is never found
    Last,         // the last record of the id
};

// `Derived` may declare, hiding the defaults here:
//   Record *Spare()      the record GetPtrAt gives outside the range;
//   void Changed()       called after every change of the count;
//   void Prepare(Record&) called on each copy before it is inserted.
template <class Derived, class Interface, class Record, IdSearch kSearch = IdSearch::FirstNonZero>
class TaskArray : public Interface {
public:
    TaskArray() { m_table.push_back(nullptr); }
    ~TaskArray() { DeleteRange(0, Count()); }
    TaskArray(const TaskArray &) = delete;
    TaskArray &operator=(const TaskArray &) = delete;

    // Reference counting: the array goes with its last reference.
    uint32_t AddRef() { return ++m_nRef; }
    uint32_t Release()
    {
        const uint32_t left = --m_nRef;
        if (left == 0) delete static_cast<Derived *>(this);
        return left;
    }

    Record **GetData() { return m_table.data(); }
    int32_t GetCount() { return Count(); }

    // New entries are default records; records beyond `count` are deleted. 1.
    int32_t SetSize(int32_t count)
    {
        count = std::max(count, 0);
        const int32_t old = Count();
        if (count < old) return RemoveAt(count, old - count);
        if (count == old) return 1;
        Reserve(m_table, static_cast<size_t>(count) + 1);
        m_table.pop_back();
        for (int32_t i = old; i < count; ++i) m_table.push_back(new Record);
        m_table.push_back(nullptr);
        Self().Changed();
        return 1;
    }

    int32_t GetAt(int32_t index, Record &task)
    {
        if (!InRange(index)) return 0;
        task = *m_table[index];
        return 1;
    }

    Record *GetPtrAt(int32_t index) { return InRange(index) ? m_table[index] : Self().Spare(); }
    // The record itself, or null out of range.
    Record *ElementAt(int32_t index) { return InRange(index) ? m_table[index] : nullptr; }

    int32_t SetAt(int32_t index, const Record &task)
    {
        if (!InRange(index)) return 0;
        *m_table[index] = task;
        return 1;
    }

    Record *Find(int32_t id)
    {
        const int32_t index = IndexOf(id);
        return index >= 0 ? m_table[index] : nullptr;
    }

    int32_t IndexOf(int32_t id)
    {
        if constexpr (kSearch == IdSearch::Last) {
            for (int32_t i = Count() - 1; i >= 0; --i)
                if (m_table[i]->TaskID == id) return i;
        } else if (id != 0) {
            for (int32_t i = 0; m_table[i]; ++i)
                if (m_table[i]->TaskID == id) return i;
        }
        return -1;
    }

    // Appends a copy; its index.
    int32_t Add(const Record &task)
    {
        const int32_t index = Count();
        InsertAt(index, task);
        return index;
    }

    // A copy before `index` (held to 0..count). 1.
    int32_t InsertAt(int32_t index, const Record &task)
    {
        auto copy = std::make_unique<Record>(task);
        Self().Prepare(*copy);
        Reserve(m_table, m_table.size() + 1);
        index = std::clamp(index, 0, Count());
        m_table.insert(m_table.begin() + index, copy.release());
        Self().Changed();
        return 1;
    }

    // Deletes up to n records from `index` on; a bad index or n <= 0 changes nothing. 1.
    int32_t RemoveAt(int32_t index, int32_t n)
    {
        if (index < 0 || index >= Count() || n <= 0) return 1;
        n = std::min(n, Count() - index);
        DeleteRange(index, n);
        m_table.erase(m_table.begin() + index, m_table.begin() + index + n);
        Self().Changed();
        return 1;
    }

    int32_t RemoveAll() { return RemoveAt(0, Count()); }

    // The defaults of the hooks: one empty record of the array's own, emptied again for each
    // caller; nothing to do on a change or an insert.
    Record *Spare()
    {
        m_empty = Record{};
        return &m_empty;
    }
    void Changed() {}
    void Prepare(Record &) {}

protected:
    int32_t Count() const { return static_cast<int32_t>(m_table.size()) - 1; }
    bool InRange(int32_t index) const { return index >= 0 && index < Count(); }
    Record *At(int32_t index) const { return m_table[index]; }
    // Swaps two records' places in the table.
    void SwapAt(int32_t a, int32_t b) { std::swap(m_table[a], m_table[b]); }

private:
    Derived &Self() { return static_cast<Derived &>(*this); }
    void DeleteRange(int32_t index, int32_t n)
    {
        for (int32_t i = index; i < index + n; ++i) delete m_table[i];
    }

    std::atomic<uint32_t> m_nRef{1};
    std::vector<Record *> m_table; // the records, then NULL
    Record m_empty;
};

} // namespace videotask
