// The lines of the Leitch matrices and XPR routers, built and scanned without a port: the
// command template map of the terminal protocol, the keyword commands of the analogue
// matrices, the Panacea cross-point line, the XPR take lines, and the scan of the terminal
// protocol's replies.
#pragma once

#include "drivers/KsOvra20Api.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace leitch {

using Bytes = std::vector<uint8_t>;

// One command template: its key (1 to 17; 0 ends a table), the command and reply templates,
// and the number of "%" in the command template (counted when the record is entered).
struct tagCmdTemplate {
    int32_t nKey = 0;
    char szCommand[48] = {};
    char szReply[48] = {};
    int32_t nArgCount = 0;
};

// An argument of a templated command: "%C" takes the value as one character, "%X" as
// upper-case hexadecimal, "%S" takes the text.
struct CmdArg {
    int32_t value = 0;
    std::string text;
    static CmdArg Of(int32_t v) { return {v, {}}; }
    static CmdArg Text(std::string t) { return {0, std::move(t)}; }
};

// The keys of the terminal protocol's commands that the drivers send by name.
enum CmdKey : int32_t {
    kCmdStatus = 2,   // "@ ?"
    kCmdStatusOf = 3, // "@ ? <character>"
    kCmdPreset = 5,   // "@ P:<levels>/<destination>,<source>"
    kCmdExecute = 9,  // "@ B:E"
    kCmdTake = 12,    // "@ X:<levels>/<destination>,<source>"
};

class KSOVRA20_API CCmdTemplateMap {
public:
    // The terminal protocol's table, ended by a record with key 0.
    static const tagCmdTemplate *LeitchTable();

    // Empties the map and enters every record of `table` up to the one with key 0.
    void LoadTable(const tagCmdTemplate *table);
    // Enters the record, counting its "%": 0 when its key is already there.
    int AddTemplate(const tagCmdTemplate &record);
    // The record of `key`, null when there is none.
    const tagCmdTemplate *FindTemplate(int32_t key) const;
    // The command line of `key` with `args` in order ("$R" a carriage return, "$T" nothing):
    // 1, or 0 with an empty `line` when the key is unknown. Arguments missing for a
    // placeholder count as 0 and empty.
    int FormatCommand(int32_t key, std::string &line, const std::vector<CmdArg> &args) const;

private:
    std::map<int32_t, tagCmdTemplate> m_map;
};

// The status query of one character: at or below '0' it asks with '0', a digit asks with it
// (key 3), above '9' it asks without one (key 2). The key and its arguments.
struct StatusCommand {
    int32_t key;
    std::vector<CmdArg> args;
};
KSOVRA20_API StatusCommand StatusQuery(char c);

// The keyword table of the analogue matrices: id, keyword, code letter.
struct Keyword {
    int id;
    const char *keyword;
    char code;
};
enum KeywordId : int {
    kDestination = 0,
    kInformation,
    kLevel,
    kPoll,
    kQuery,
    kRead,
    kSource,
    kTerminal,
    kXPoint,
    kZero,
    kKeywordCount
};
KSOVRA20_API const Keyword *AnalogKeywords();
// The code letter, the number in decimal when the keyword takes one, CR.
KSOVRA20_API std::string AnalogCommand(KeywordId id, int number = 0);
// "X" level ":" source "," destination CR.
KSOVRA20_API std::string AnalogXPoint(int level, int source, int destination);

// The Panacea cross-point line: "X " level ":" source "," destination CR.
KSOVRA20_API std::string PanaceaXPoint(int level, int source, int destination);

// The XPR take lines: "l<n>;s<source>;d<destination>" CR for each of the four levels; the
// single-level router's "l0;s<source>;d<destination>" CR LF.
KSOVRA20_API std::string XprTake(int source, int destination);
KSOVRA20_API std::string XprAsTake(int source, int destination);

// The replies of the terminal protocol as the matrix driver notes them: each block is added
// to what is held, what stands before the first 'V', 'S' or 'F' is dropped (all of it when
// there is none), and once more than eight bytes stand from there the reply counts as whole
// and the scan starts again. Nothing of a reply is read. At most eight bytes are held between
// blocks.
class KSOVRA20_API CLeitchReplyScan {
public:
    static constexpr size_t kWhole = 8;

    // A whole reply; nothing of it is read.
    struct Reply {
        bool operator==(const Reply &) const = default;
    };

    // The reply the block completed, if any.
    std::vector<Reply> Feed(const uint8_t *data, size_t length);
    void Reset() { m_pending.clear(); }
    size_t Pending() const { return m_pending.size(); }

private:
    Bytes m_pending;
};

} // namespace leitch
