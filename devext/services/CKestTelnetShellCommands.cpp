// The telnet shell's built-in commands: QUIT, HELP, LOG, RES, CLASS and AUTOTASK.
#include "devext/device/CKestTelnetShell.h"

#include "Kest20/CLogReader.h"
#include "Kest20/ClassA.h"
#include "Kest20/KestLog.h"
#include "devext/services/CAutoTaskMgr.h"

namespace {

constexpr int kLogTitleMax = 32;
constexpr int kLogTextMax = 128;
constexpr int kHelpColumns = 4;
constexpr int kSonColumns = 3;
constexpr int kResColumns = 4;
constexpr const char *kResRoot = "/etc/tvx";
constexpr const char *kNoFather = "#root#";

const char *ClassName(iRtc *rtc)
{
    return rtc ? rtc->GetClassInfoA()->lpszClassName : "";
}

const char *FatherName(iRtc *rtc)
{
    iRtc *father = rtc ? rtc->GetFatherRtc() : nullptr;
    return father ? ClassName(father) : kNoFather;
}

} // namespace

CString CKestTelnetShell::SubCommand()
{
    CString sub = GetParamAsString(1, "");
    return sub.MakeUpper();
}

int CKestTelnetShell::__DefOnCmdQuit(CKestTelnetShell *)
{
    for (int i = 0; i < 10; ++i) SendFormat("\r\n");
    SendFormat("           Thank you for using KEST20\r\n\r\n");
    SendFormat("  Bye\r\n");
    for (int i = 0; i < 10; ++i) SendFormat("\r\n");
    SendFormat("\r\n Press any key to exit");
    ReadChar();
    CloseSocket();
    return 1;
}

int CKestTelnetShell::__DefOnCmdHelp(CKestTelnetShell *)
{
    CStringArray names;
    {
        std::lock_guard<std::mutex> lk(m_lock);
        for (const Command &command : m_commands) names.Add(command.name);
    }
    __PrintList(names, kHelpColumns);
    SendFormat("\r\n");
    return 1;
}

int CKestTelnetShell::__OnLogReader(const char *type, const char *text, const char *info)
{
    SendFormat("\r\nTitle:%-20s From:%-20s", type ? type : "", info ? info : "");
    SendFormat("\r\n%s\r\n", text ? text : "");
    return 1;
}

int CKestTelnetShell::__DefOnCmdLog(CKestTelnetShell *)
{
    const CString sub = SubCommand();
    if (sub == "VIEW") {
        const CString pattern = GetParamAsString(2, "*");
        {
            // Messages arrive on the log thread until the reader is gone.
            CLogReader reader(&CKestTelnetShell::__OnLogReader, this, pattern, 2);
            ReadChar();
        }
        SendFormat("\r\n end of LogView\r\n");
    } else if (sub == "SEND") {
        char title[kLogTitleMax + 1];
        char text[kLogTextMax + 1];
        SendFormat("\r\nTitle :");
        if (ReadField(title, kLogTitleMax, 0) != 1) return 1;
        SendFormat("\r\nMsg   :");
        if (ReadField(text, kLogTextMax, 0) != 1) return 1;
        SendFormat("\r\n");
        glReportLog(title, text, nullptr);
    } else {
        SendFormat("\r\nUsage: Log View|Send\r\n");
    }
    return 1;
}

int CKestTelnetShell::__DefOnCmdRes(CKestTelnetShell *)
{
    const CString sub = SubCommand();
    const bool hasArgument = !GetParamAsString(2, "").IsEmpty();
    const CString argument = GetParamAsString(2, "");
    if (sub == "CD") {
        if (hasArgument)
            m_res.Go(argument);
        else
            m_res.SetResAddr(kResRoot);
    } else if (sub == "LS" || sub == "DIR") {
        CStringArray names;
        m_res.EnumSub(names, "*");
        __PrintList(names, kResColumns);
        SendFormat("\r\n Total = %d\r\n", names.GetSize());
    } else if (sub == "VIEW" || sub == "SET") {
        if (!hasArgument) {
            SendFormat("\r\nkey missing\r\n");
        } else if (sub == "VIEW") {
            SendFormat("\r\n Value = %s\r\n", m_res[argument].GetAsString("").GetString());
        } else {
            char value[kCommandLineMax + 1];
            SendFormat(" %s =", argument.GetString());
            if (ReadField(value, kCommandLineMax, 0) == 1) m_res[argument] = value;
        }
    } else if (sub == "MD" || sub == "RD") {
        SendFormat("\r\nno implement\r\n");
    } else {
        SendFormat("\r\nUsage:Res cd|ls|dir|rd|md|view|set");
    }
    SendFormat("\r\nResource Path:%s\r\n", m_res.GetFullResAddr().GetString());
    return 1;
}

int CKestTelnetShell::SetCurrentClass(const char *name)
{
    if (!name || !*name) return 0;
    iRtc *root = glGetKestRootRtc();
    iRtc *found = CString(name) == ".."
                      ? (m_pCurrentClass ? m_pCurrentClass->GetFatherRtc() : nullptr)
                      : root->Find(name, iRtc::FIND_CLASSNAME);
    m_pCurrentClass = found ? found : root;
    return 1;
}

void CKestTelnetShell::ListObjects(bool all)
{
    CStringArray lines;
    iRtc *rtc = m_pCurrentClass;
    if (rtc && rtc->IsKindOf(glGetKestRootRtc())) {
        const int32_t count = rtc->GetInstanceCount();
        for (int32_t i = 0; i < count; ++i) {
            auto *object = static_cast<IClassA *>(rtc->GetInstance(i));
            if (!object) continue;
            // An object that is no component has no name of its own.
            auto *component = dynamic_cast<IComponentA *>(object);
            const char *name = component ? component->GetInstanceName() : nullptr;
            const bool named = name && *name;
            if (!named && !all) continue;
            CString line;
            line.Format("class name = %s  object  name=%s", ClassName(object->GetObjectRtc()),
                        named ? name : "#NONAME");
            lines.Add(line);
        }
    }
    SendFormat("\r\n----------------Object----------------\r\n");
    SendFormat("\r\n  Parent NAME=%s\r\n", FatherName(rtc));
    __PrintList(lines, 1);
    SendFormat("\r\n\r\n----------------End of List-----------\r\n");
}

int CKestTelnetShell::__DefOnCmdClass(CKestTelnetShell *)
{
    const CString sub = SubCommand();
    CString argument = GetParamAsString(2, "");
    if (sub == "SON") {
        SetCurrentClass(argument);
        SendFormat("\r\n Parent class : NAME=%s\r\n", ClassName(m_pCurrentClass));
        CStringArray sons;
        for (int32_t i = 0; iRtc *son = m_pCurrentClass->GetSonRtc(i); ++i)
            sons.Add(ClassName(son));
        __PrintList(sons, kSonColumns);
        SendFormat("\r\n");
    } else if (sub == "GOTO") {
        SetCurrentClass(argument);
        SendFormat("\r\n  NAME=%s\r\n", ClassName(m_pCurrentClass));
    } else if (sub == "VIEW") {
        SetCurrentClass(argument);
        SendFormat("\r\n ClassName\t= %s", ClassName(m_pCurrentClass));
        SendFormat("\r\n ClassSize\t= %d", m_pCurrentClass->GetClassInfoA()->nObjectSize);
        SendFormat("\r\n FatherClass = %s\r\n", FatherName(m_pCurrentClass));
    } else if (sub == "OBJ") {
        argument.MakeUpper();
        SetCurrentClass(argument);
        ListObjects(argument == "ALL");
    } else {
        SendFormat("\r\nUsage: Class Son|Goto|View|obj\r\n");
    }
    return 1;
}

int CKestTelnetShell::__DefOnCmdAutoTask(CKestTelnetShell *)
{
    iRtc *rtc = CAutoTaskMgr::GetClassID();
    void *entry = rtc->GetInstanceCount() > 0 ? rtc->GetInstance(0) : nullptr;
    auto *manager = entry ? static_cast<CAutoTaskMgr *>(static_cast<IClassA *>(entry)) : nullptr;
    if (!manager) {
        SendFormat("Auto Task Module diabled\r\n");
        return 0;
    }
    const CString sub = SubCommand();
    if (sub == "LS") {
        CStringArray names, descriptions;
        manager->GetTaskList(&names, &descriptions);
        SendFormat("AutoTask:\r\n");
        for (int i = 0; i < names.GetSize(); ++i)
            SendFormat("  Name:%16s  Description:%s\r\n", names[i].GetString(),
                       descriptions[i].GetString());
        SendFormat("\r\n");
    } else if (sub != "DEL" && sub != "ADD" && sub != "STOP") {
        SendFormat("\r\nUsage:AutoTask ls|del|add|stop");
    }
    return 1;
}
