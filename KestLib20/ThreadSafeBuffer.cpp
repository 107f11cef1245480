#include "KestLib20/ThreadSafeBuffer.h"

namespace {
struct ScratchArea {
    alignas(8) char area[kThreadSafeBufferSize];
    int position = 0;
};
thread_local ScratchArea t_scratch;
} // namespace

char *glGetThreadSafeBuffer(int size)
{
    if (size < 0 || size > kThreadSafeBufferSize) return nullptr;
    int rounded = (size + 7) & ~7;
    ScratchArea &s = t_scratch;
    if (s.position + rounded > kThreadSafeBufferSize) s.position = 0;
    char *piece = s.area + s.position;
    s.position += rounded;
    return piece;
}
