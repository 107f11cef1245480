// Per-thread scratch memory: a 4096-byte ring from which text results that take no caller's
// buffer (dates, times, timecodes, directory names) are handed out without allocation. A
// result stays valid until the thread has asked for about 4096 more bytes; callers copy what
// they keep.
#pragma once

constexpr int kThreadSafeBufferSize = 4096;

// Scratch memory of `size` bytes (rounded up to a multiple of 8) from the calling thread's
// ring; null when more than 4096 bytes or a negative size is asked for.
char *glGetThreadSafeBuffer(int size);
