// Plain byte buffers: `pointer_t` views bytes owned elsewhere; `buffer_t` is one allocated
// block holding its capacity, its length and the bytes. Neither is locked.
#pragma once

#include "KestLib20/KestLibApi.h"

#include <cstdint>

struct KESTLIB_SHARED_TYPE pointer_t {
    const void *data = nullptr;
    int32_t length = 0;

    // Copies bytes from `offset`: `count` of them but no more than remain after it (all that
    // remain when count <= 0). Returns the number to copy; nothing is copied when it is below
    // 1, the offset is negative or `destination` is null.
    int32_t copyto(void *destination, int32_t offset, int32_t count) const;
};

struct KESTLIB_SHARED_TYPE buffer_t {
    int32_t capacity;
    int32_t length;

    uint8_t *data() { return reinterpret_cast<uint8_t *>(this + 1); }
    const uint8_t *data() const { return reinterpret_cast<const uint8_t *>(this + 1); }

    // A new empty buffer (null for a negative capacity or when memory runs out).
    static buffer_t *Create(int32_t capacity);
    // The same buffer when the capacity is unchanged; otherwise a new buffer holding the
    // first min(length, capacity) bytes, and the old one is freed. A null buffer is created.
    static buffer_t *Resize(buffer_t *buffer, int32_t capacity);
    static void Free(buffer_t *buffer);

    // Removes `count` bytes (limited to the end) at `position` when the position is not
    // beyond the length; returns the new length.
    int32_t RemoveAt(int32_t position, int32_t count);
    // Appends as many of the bytes as there is room for; returns how many were appended.
    int32_t Add(const void *bytes, int32_t count);
};
static_assert(sizeof(buffer_t) == 8, "buffer head is capacity and length");
