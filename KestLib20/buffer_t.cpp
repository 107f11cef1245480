#include "KestLib20/buffer_t.h"

#include <cstdlib>
#include <cstring>
#include <new>

int32_t pointer_t::copyto(void *destination, int32_t offset, int32_t count) const
{
    if (offset < 0) return 0;
    int32_t remain = length - offset;
    int32_t n = (count <= 0 || count > remain) ? remain : count;
    if (n < 1 || !destination || !data) return n;
    memcpy(destination, static_cast<const uint8_t *>(data) + offset, static_cast<size_t>(n));
    return n;
}

buffer_t *buffer_t::Create(int32_t capacity)
{
    if (capacity < 0) return nullptr;
    void *block = malloc(sizeof(buffer_t) + static_cast<size_t>(capacity));
    if (!block) return nullptr;
    auto *b = new (block) buffer_t;
    b->capacity = capacity;
    b->length = 0;
    return b;
}

buffer_t *buffer_t::Resize(buffer_t *buffer, int32_t capacity)
{
    if (!buffer) return Create(capacity);
    if (buffer->capacity == capacity) return buffer;
    buffer_t *fresh = Create(capacity);
    if (!fresh) return nullptr;
    int32_t keep = buffer->length < capacity ? buffer->length : capacity;
    if (keep > 0) memcpy(fresh->data(), buffer->data(), static_cast<size_t>(keep));
    fresh->length = keep;
    Free(buffer);
    return fresh;
}

void buffer_t::Free(buffer_t *buffer)
{
    free(buffer);
}

int32_t buffer_t::RemoveAt(int32_t position, int32_t count)
{
    if (position < 0 || position > length || count <= 0) return length;
    if (count > length - position) count = length - position;
    memmove(data() + position, data() + position + count,
            static_cast<size_t>(length - position - count));
    length -= count;
    return length;
}

int32_t buffer_t::Add(const void *bytes, int32_t count)
{
    if (!bytes || count <= 0) return 0;
    int32_t room = capacity - length;
    int32_t n = count < room ? count : room;
    if (n <= 0) return 0;
    memcpy(data() + length, bytes, static_cast<size_t>(n));
    length += n;
    return n;
}
