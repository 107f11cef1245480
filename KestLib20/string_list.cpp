#include "KestLib20/string_list.h"

#include "platform/Gbk.h"

#include <algorithm>
#include <cstring>

int string_list<char>::LoadFrom(const char *text, char separator)
{
    FreeString();
    if (!text) return 0;
    if (!separator) separator = ';';
    const size_t length = std::strlen(text);
    m_buffer = std::make_unique<char[]>(length + 1);
    std::memcpy(m_buffer.get(), text, length + 1);
    m_items.clear();
    char *piece = m_buffer.get();
    for (char *p = piece;; ++p) {
        if (plat::IsGbkLead(static_cast<unsigned char>(*p)) && p[1]) {
            ++p; // the trail byte is never a separator
        } else if (*p == separator || !*p) {
            const bool end = !*p;
            *p = 0;
            m_items.push_back(piece);
            if (end) break;
            piece = p + 1;
        }
    }
    m_items.push_back(nullptr);
    return GetCount();
}

int string_list<char>::Pack()
{
    m_items.erase(std::remove_if(m_items.begin(), m_items.end() - 1, [](char *s) { return !*s; }),
                  m_items.end() - 1);
    return GetCount();
}

void string_list<char>::FreeString()
{
    m_items.assign(1, nullptr);
    m_buffer.reset();
}

int string_list<char>::SaveTo(char *buffer, int size) const
{
    if (!buffer || size < 1) return 0;
    buffer[0] = 0;
    return 1;
}

void string_list<char>::Trim(char) const {}
