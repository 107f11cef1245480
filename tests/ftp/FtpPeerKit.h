// What the FTP tests share: a directory tree of the test's own, and a real FTP server serving
// it on a free port of 127.0.0.1 for as long as the object lives: pyftpdlib under
// /usr/bin/python3 (ftp_server.py beside this file) or vsftpd (vsftpd_server.py, one vsftpd in
// inetd mode per connection), whose replies differ in the details.
#pragma once

#include "drivers/sources/ftp/CFtpClient.h"

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

namespace ftptest {

inline constexpr const char *kPassword = "secret";

enum class Flavor { kPyftpdlib, kVsftpd };
inline constexpr Flavor kFlavors[] = {Flavor::kPyftpdlib, Flavor::kVsftpd};
const char *FlavorName(Flavor flavor);
// How a test's parameter prints.
inline void PrintTo(Flavor flavor, std::ostream *os)
{
    *os << FlavorName(flavor);
}

// A fresh directory below $TMPDIR (else /tmp), removed at the end.
class TempTree {
public:
    TempTree();
    ~TempTree();
    TempTree(const TempTree &) = delete;
    TempTree &operator=(const TempTree &) = delete;

    const std::filesystem::path &Root() const { return m_root; }
    // Writes `size` bytes (a pattern) or the text to the file, making its directories.
    void File(const std::string &relative, size_t size);
    void Text(const std::string &relative, const std::string &text);
    void Dir(const std::string &relative);
    bool Exists(const std::string &relative) const;
    std::string Read(const std::string &relative) const;
    // The file's size, -1 when it is missing.
    int64_t Size(const std::string &relative) const;

private:
    std::filesystem::path m_root;
};

class FtpServer {
public:
    // Options: "--read-only" refuses every write; "--gbk" speaks GBK names on the wire;
    // "--rmd-tree" removes a directory with everything in it on RMD, as the video servers
    // do (pyftpdlib only: see RmdRemovesTrees); "--rate", "<bytes/s>" slows data
    // connections down.
    explicit FtpServer(const std::filesystem::path &root,
                       const std::vector<std::string> &options = {});
    FtpServer(Flavor flavor, const std::filesystem::path &root,
              const std::vector<std::string> &options = {});
    ~FtpServer();
    FtpServer(const FtpServer &) = delete;
    FtpServer &operator=(const FtpServer &) = delete;

    // 0 when the server did not start.
    uint16_t Port() const { return m_port; }
    Flavor Kind() const { return m_flavor; }
    const char *User() const;
    // Whether "--rmd-tree" took effect.
    bool RmdRemovesTrees() const { return m_rmdTree; }
    // The name on disk of a name on the wire (GBK): pyftpdlib keeps UTF-8 names on disk,
    // vsftpd the bytes it was sent.
    std::string DiskName(const std::string &wireName) const;
    // Ends the server at once: its connections drop.
    void Kill();
    // "ftp://<user>:secret@127.0.0.1:<port>/<path>".
    std::string Url(const std::string &path = "") const;
    // Points the client at this server.
    void Configure(CFtpClient &client) const;
    // The commands the server received so far, in order (a password shows as given by the
    // server's log), and how many of them begin with `verb` and a blank or end.
    std::vector<std::string> Commands() const;
    int Count(const std::string &verb) const;

private:
    Flavor m_flavor;
    bool m_gbk = false;
    bool m_rmdTree = false;
    pid_t m_pid = -1;
    uint16_t m_port = 0;
    std::filesystem::path m_commandLog;
};

} // namespace ftptest
