// A text split in place into items: one owned copy of the text with each separator made a
// terminator, and a null-terminated array of pointers to the pieces.
#pragma once

#include <memory>
#include <vector>

template <typename CH> class string_list;

template <> class string_list<char> {
public:
    string_list() = default;
    string_list(const string_list &) = delete;
    string_list &operator=(const string_list &) = delete;

    // Frees what was held, copies the text and splits it at the separator (";" when 0);
    // every piece, empty ones included, becomes an item (a GBK trail byte never separates). The
    // number of items.
    int LoadFrom(const char *text, char separator = 0);
    // Removes the empty items; the number left.
    int Pack();
    void FreeString();
    // Writes an empty text; 0 when there is no room for it.
    int SaveTo(char *buffer, int size) const;
    // Items are not trimmed: does nothing.
    void Trim(char c) const;

    int GetCount() const { return static_cast<int>(m_items.size()) - 1; }
    const char *operator[](int i) const { return m_items[static_cast<size_t>(i)]; }
    // The null-terminated item array.
    char *const *GetItems() const { return m_items.data(); }

private:
    std::unique_ptr<char[]> m_buffer;
    std::vector<char *> m_items{nullptr};
};
