// Hands out a short ASCII text in a caller's buffer or, when the caller gives none, in the
// calling thread's scratch ring, in 8-bit or 16-bit characters.
#pragma once

#include "KestLib20/ThreadSafeBuffer.h"

#include <string_view>

// Copies `text` into `buffer` of `size` characters, or into `scratchSize` characters of the
// scratch ring when buffer is null. Null when it does not fit.
template <typename CH>
const CH *EmitText(std::string_view text, CH *buffer, int size, int scratchSize)
{
    if (!buffer) {
        size = scratchSize;
        buffer = reinterpret_cast<CH *>(glGetThreadSafeBuffer(size * static_cast<int>(sizeof(CH))));
    }
    if (!buffer || size < 1 || text.size() + 1 > static_cast<size_t>(size)) return nullptr;
    for (size_t i = 0; i < text.size(); ++i)
        buffer[i] = static_cast<CH>(static_cast<unsigned char>(text[i]));
    buffer[text.size()] = 0;
    return buffer;
}
