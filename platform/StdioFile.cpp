#include "platform/StdioFile.h"

#include "platform/Gbk.h"
#include "platform/Process.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr unsigned int kAccessMask = 0x0003;
constexpr unsigned int kShareMask = 0x0070;

// Backslashes become slashes, except a trail byte of a GBK character that happens to be 0x5C.
std::string PosixPath(std::string_view name)
{
    std::string path(name);
    for (size_t i = 0; i < path.size(); i += plat::GbkCharLength(path, i))
        if (path[i] == '\\') path[i] = '/';
    return path;
}

// flock has only shared and exclusive locks, so the share modes map onto them like this: an
// open that denies writing holds a lock (shared when it only reads, so that several such
// readers coexist); a writer that denies nothing holds none but must be able to take an
// exclusive lock for a moment, which fails while anyone denies writing.
bool TakeShareLock(int fd, unsigned int share, bool writes)
{
    int op = LOCK_EX;
    if (share == CStdioFile::shareDenyWrite && !writes) {
        op = LOCK_SH;
    } else if (share != CStdioFile::shareDenyWrite && share != CStdioFile::shareExclusive) {
        if (!writes) return true;
        if (flock(fd, LOCK_EX | LOCK_NB) != 0) return false;
        flock(fd, LOCK_UN);
        return true;
    }
    return flock(fd, op | LOCK_NB) == 0;
}

} // namespace

CStdioFile::~CStdioFile()
{
    Close();
}

bool CStdioFile::Open(const char *fileName, unsigned int flags)
{
    Close();
    auto fail = [](int err, int fd = -1) {
        if (fd >= 0) ::close(fd);
        errno = err;
        plat::SetLastError(static_cast<uint32_t>(err));
        return false;
    };
    if (!fileName) return fail(EINVAL);
    const std::string path = PosixPath(fileName);
    const unsigned int access = flags & kAccessMask;
    const bool writes = access == modeWrite || access == modeReadWrite;
    int oflags = O_CLOEXEC | (access == modeWrite ? O_WRONLY : writes ? O_RDWR : O_RDONLY);
    if (flags & modeCreate) oflags |= O_CREAT;

    const int fd = ::open(path.c_str(), oflags, 0666);
    if (fd < 0) return fail(errno);
    struct stat st {};
    if (fstat(fd, &st) != 0) return fail(errno, fd);
    if (S_ISDIR(st.st_mode)) return fail(EISDIR, fd);
    if (!TakeShareLock(fd, flags & kShareMask, writes)) return fail(EWOULDBLOCK, fd);
    // Truncated only now: an open refused for sharing must leave the file as it was.
    if ((flags & modeCreate) && !(flags & modeNoTruncate) && writes && ftruncate(fd, 0) != 0)
        return fail(errno, fd);

    m_file = fdopen(fd, access == modeWrite ? "w" : writes ? "r+" : "r");
    if (!m_file) return fail(errno, fd);
    m_path = CString(std::string_view(path));
    m_textMode = !(flags & typeBinary);
    m_lastWasCr = false;
    m_lastOp = LastOp::none;
    return true;
}

void CStdioFile::Close()
{
    if (!m_file) return;
    fclose(m_file);
    m_file = nullptr;
    m_path.Empty();
}

void CStdioFile::SwitchTo(LastOp op)
{
    if (m_lastOp != LastOp::none && m_lastOp != op) fseeko(m_file, 0, SEEK_CUR);
    m_lastOp = op;
}

bool CStdioFile::ReadString(CString &line)
{
    line.Empty();
    if (!m_file) return false;
    SwitchTo(LastOp::read);
    char *buf = m_line.release();
    const ssize_t got = getline(&buf, &m_lineCapacity, m_file);
    m_line.reset(buf);
    if (got < 0) return false;
    size_t n = static_cast<size_t>(got);
    if (n > 0 && buf[n - 1] == '\n') {
        --n;
        if (n > 0 && buf[n - 1] == '\r') --n;
    }
    line = CString(std::string_view(buf, n));
    return true;
}

bool CStdioFile::WriteString(const char *text)
{
    if (!m_file || !text) return false;
    const std::string_view in(text);
    if (!m_textMode) return Write(in.data(), static_cast<uint32_t>(in.size()));
    std::string out;
    out.reserve(in.size() + in.size() / 8 + 1);
    bool lastWasCr = m_lastWasCr;
    for (char c : in) {
        if (c == '\n' && !lastWasCr) out += '\r';
        out += c;
        lastWasCr = c == '\r';
    }
    return Write(out.data(), static_cast<uint32_t>(out.size()));
}

uint32_t CStdioFile::Read(void *buffer, uint32_t count)
{
    if (!m_file || !buffer) return 0;
    SwitchTo(LastOp::read);
    return static_cast<uint32_t>(fread(buffer, 1, count, m_file));
}

bool CStdioFile::Write(const void *buffer, uint32_t count)
{
    if (!m_file || (!buffer && count > 0)) return false;
    SwitchTo(LastOp::write);
    if (count == 0) return true;
    m_lastWasCr = static_cast<const char *>(buffer)[count - 1] == '\r';
    return fwrite(buffer, 1, count, m_file) == count;
}

uint64_t CStdioFile::Seek(int64_t offset, unsigned int from)
{
    const int whence = from == end ? SEEK_END : from == current ? SEEK_CUR : SEEK_SET;
    if (!m_file || fseeko(m_file, offset, whence) != 0) return UINT64_MAX;
    m_lastOp = LastOp::none;
    m_lastWasCr = false;
    return GetPosition();
}

uint64_t CStdioFile::GetPosition() const
{
    const off_t pos = m_file ? ftello(m_file) : -1;
    return pos < 0 ? 0 : static_cast<uint64_t>(pos);
}

uint64_t CStdioFile::GetLength()
{
    if (!m_file) return 0;
    if (m_lastOp == LastOp::write) fflush(m_file);
    struct stat st {};
    return fstat(fileno(m_file), &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0;
}

bool CStdioFile::Flush()
{
    return m_file && fflush(m_file) == 0;
}
