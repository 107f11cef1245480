// MD5 digests (RFC 1321) as 32 lower-case hexadecimal digits: of a memory block, of an open
// file from its position on, of a file named by its path, or fed piece by piece.
#pragma once

#include "devext/Devext20Api.h"
#include "platform/StdioFile.h"
#include "platform/String.h"

#include <cstddef>
#include <cstdint>
#include <memory>

class DEVEXT20_API CMD5 {
public:
    CMD5();
    ~CMD5();
    CMD5(const CMD5 &) = delete;
    CMD5 &operator=(const CMD5 &) = delete;

    // Feeds more bytes; a digest taken before starts a new one.
    void Update(const void *data, size_t length);
    // The digest of everything fed since the last Final.
    CString Final();

    static CString Digest(const void *data, size_t length);
    // Reads the open file from its current position to its end in blocks of 1024 bytes;
    // throws std::system_error when a read fails.
    static CString Digest(CStdioFile &file);
    // Opens the file as bytes (writers refused meanwhile); throws std::system_error when it
    // cannot be opened.
    static CString DigestFile(const char *path);

private:
    struct Context;
    std::unique_ptr<Context> m_pContext; // made at first use
};
