#include "drivers/switchers/leitch/LeitchFrames.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace leitch {

namespace {

constexpr char kCr = '\r';

// The terminal protocol's commands; the reply templates are kept, nothing reads them.
const tagCmdTemplate kLeitchTable[] = {
    {1, "%S$R", "", 0},
    {2, "@ ?$R", "", 0},
    {3, "@ ? %C$R", "", 0},
    {4, "@ !$R", "", 0},
    {5, "@ P:%S/%X,%X$R", "", 0},
    {6, "@ P:%S/%X,%X:I%X$R", "", 0},
    {7, "@ P?%C%X$R", "V:%C%X,%X", 0},
    {8, "@ V?%C$R", "V:%C%X,%X", 0},
    {9, "@ B:E$R", "S:%C%X,%X", 0},
    {10, "@ B:C$R", "", 0},
    {11, "@ B:R$R", "", 0},
    {12, "@ X:%S/%X,%X$R", "S:%C%X,%X", 0},
    {13, "@ X:%S/%X,%X:I%X$R", "S:%C%X,%X", 0},
    {14, "@ X?%C%X$R", "S:%C%X,%X", 0},
    {15, "@ S?%C$R", "S:%C%X,%X", 0},
    {16, "@ F?%C$R", "F:%C%X,%X", 0},
    {17, "@ Z:%S$R", "", 0},
    {0, "", "", 0},
};

const Keyword kKeywords[kKeywordCount] = {
    {kDestination, "DESTINATION", 'D'},
    {kInformation, "INFORMATION", 'I'},
    {kLevel, "LEVEL", 'L'},
    {kPoll, "POLL", 'P'},
    {kQuery, "QUERY", 'Q'},
    {kRead, "READ", 'R'},
    {kSource, "SOURCE", 'S'},
    {kTerminal, "TERMINAL", 'T'},
    {kXPoint, "XPOINT", 'X'},
    {kZero, "ZERO", 'Z'},
};

// The keywords whose command carries one number.
bool TakesNumber(KeywordId id)
{
    return id == kDestination || id == kLevel || id == kPoll || id == kSource || id == kTerminal;
}

std::string Hex(int32_t value)
{
    char text[16];
    std::snprintf(text, sizeof text, "%X", static_cast<uint32_t>(value));
    return text;
}

void ReplaceAll(std::string &text, const std::string &from, const std::string &to)
{
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

std::string Printf(const char *format, int a, int b, int c)
{
    char text[64];
    std::snprintf(text, sizeof text, format, a, b, c);
    return text;
}

} // namespace

const tagCmdTemplate *CCmdTemplateMap::LeitchTable()
{
    return kLeitchTable;
}

void CCmdTemplateMap::LoadTable(const tagCmdTemplate *table)
{
    m_map.clear();
    for (; table && table->nKey != 0; ++table) AddTemplate(*table);
}

int CCmdTemplateMap::AddTemplate(const tagCmdTemplate &record)
{
    if (m_map.count(record.nKey)) return 0;
    tagCmdTemplate entered = record;
    entered.szCommand[sizeof entered.szCommand - 1] = '\0';
    entered.szReply[sizeof entered.szReply - 1] = '\0';
    const char *command = entered.szCommand;
    entered.nArgCount =
        static_cast<int32_t>(std::count(command, command + std::strlen(command), '%'));
    m_map.emplace(record.nKey, entered);
    return 1;
}

const tagCmdTemplate *CCmdTemplateMap::FindTemplate(int32_t key) const
{
    const auto it = m_map.find(key);
    return it == m_map.end() ? nullptr : &it->second;
}

int CCmdTemplateMap::FormatCommand(int32_t key, std::string &line,
                                   const std::vector<CmdArg> &args) const
{
    line.clear();
    const tagCmdTemplate *record = FindTemplate(key);
    if (!record) return 0;
    std::string text = record->szCommand;
    size_t from = 0;
    for (int32_t i = 0; i < record->nArgCount; ++i) {
        const size_t at = text.find('%', from);
        if (at == std::string::npos || at + 1 >= text.size()) break;
        const CmdArg arg = static_cast<size_t>(i) < args.size() ? args[i] : CmdArg{};
        std::string value;
        switch (text[at + 1]) {
        case 'C':
            value = std::string(1, static_cast<char>(arg.value));
            break;
        case 'X':
            value = Hex(arg.value);
            break;
        case 'S':
            value = arg.text;
            break;
        default:
            value = text.substr(at, 2);
            break;
        }
        text.replace(at, 2, value);
        // What an argument brought in is not searched for placeholders.
        from = at + value.size();
    }
    ReplaceAll(text, "$R", std::string(1, kCr));
    ReplaceAll(text, "$T", "");
    line = text;
    return 1;
}

StatusCommand StatusQuery(char c)
{
    if (c <= '0') return {kCmdStatusOf, {CmdArg::Of('0')}};
    if (c <= '9') return {kCmdStatusOf, {CmdArg::Of(c)}};
    return {kCmdStatus, {}};
}

const Keyword *AnalogKeywords()
{
    return kKeywords;
}

std::string AnalogCommand(KeywordId id, int number)
{
    std::string line(1, kKeywords[id].code);
    if (TakesNumber(id)) line += std::to_string(number);
    return line + kCr;
}

std::string AnalogXPoint(int level, int source, int destination)
{
    return kKeywords[kXPoint].code + Printf("%d:%d,%d", level, source, destination) + kCr;
}

std::string PanaceaXPoint(int level, int source, int destination)
{
    return Printf("X %d:%d,%d", level, source, destination) + kCr;
}

std::string XprTake(int source, int destination)
{
    std::string line;
    for (int level = 0; level < 4; ++level)
        line += Printf("l%d;s%d;d%d", level, source, destination) + kCr;
    return line;
}

std::string XprAsTake(int source, int destination)
{
    return Printf("l%d;s%d;d%d", 0, source, destination) + "\r\n";
}

std::vector<CLeitchReplyScan::Reply> CLeitchReplyScan::Feed(const uint8_t *data, size_t length)
{
    if (data) m_pending.insert(m_pending.end(), data, data + length);
    const auto marker = std::find_if(m_pending.begin(), m_pending.end(),
                                     [](uint8_t b) { return b == 'V' || b == 'S' || b == 'F'; });
    m_pending.erase(m_pending.begin(), marker);
    if (m_pending.size() <= kWhole) return {};
    m_pending.clear();
    return {Reply{}};
}

} // namespace leitch
