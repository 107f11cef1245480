// The composite switcher: drives a list of member switchers ("Dev") as one. Takes run on
// every member at once, one worker thread per member, and count as done when any member took
// them within "CheckTime" polls of "CheckInterval" ms; presets and the other operations go to
// the members in turn. Each member may translate input and output numbers through its tables
// ("<id>_I", "<id>_O").
#pragma once

#include "drivers/KsOvra20Api.h"
#include "drivers/model/CVideoSwitchA.h"

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class KSOVRA20_API CVideoSwitch_Mutil : public CVideoSwitchA {
    DECLARE_KEST_CLASS(CVideoSwitch_Mutil)

    static constexpr const char *kLogType = "LOG_MUTILSWITCH";

    // A member's number translation: input (entry) and output (channel) tables, where
    // element n-1 stands for number n.
    struct tagTables {
        std::vector<uint32_t> input;
        std::vector<uint32_t> output;

        int Entry(int entry) const { return Translate(input, entry); }
        int Channel(int channel) const { return Translate(output, channel); }

    private:
        static int Translate(const std::vector<uint32_t> &table, int number);
    };

    // The member ids in configuration order and their tables; fixed once built.
    struct tagMembers {
        std::vector<CString> ids;
        std::map<std::string, tagTables> tables;

        int Count() const { return static_cast<int>(ids.size()); }
        const tagTables &TablesOf(const CString &id) const;
    };

    CVideoSwitch_Mutil();
    ~CVideoSwitch_Mutil() override;

    // The base's keys, then "Dev", "CheckTime", "CheckInterval" and the members' tables; the
    // member count (0: no members, the composite does not initialise).
    int32_t OnInitInstance() override;
    // Stays active (0) while a member works normally; otherwise closes as a device.
    int32_t OnDeactiveInstance() override;
    int DevClose() override;
    // Opens every member (finding or creating it); 1 when at least one opened.
    int DevOpen() override;
    int DevIsOpen() override;
    // Every usable member must pass, within seven tries each.
    int DevTest(const char *text) override;
    int GetEmbenddedDev(CStringArray &names) override;
    int DevSetTransType(int type) override;
    int DevSetTransRate(int rate) override;
    // The number of members that took it (0: failed, the entries stay).
    int DevDirectTake(int channel, int entry) override;
    int DevPreset(int channel, int entry) override;
    int DevTake(int channel) override;
    int DevQueryPgmEntry(int channel, int &entry) override;
    int DevQueryPstEntry(int channel, int &entry) override;
    int DevQueryTransMode(int &type, int &rate) override;
    int DevKey(int key, int on) override;
    int DevMix(int mix, int on) override;
    // The first member's answer; -1 without one.
    int DevGetPSTBUS() override;
    int DevGetPGMBUS() override;
    int DevGetKey1() override;
    int DevGetKey2() override;
    int DevGetMix1() override;
    int DevGetMix2() override;

    std::shared_ptr<const tagMembers> GetMembers() const;

private:
    enum class TakeKind { Direct, Take };

    // One take on every member at once, under the operation lock: the number that took it.
    int RunTake(TakeKind kind, int channel, int entry);
    // Calls `op` (member, index, id) on every usable member (with `normalOnly`, only those
    // whose status is normal); the number of nonzero results.
    template <class Op> int ForEachMember(bool normalOnly, Op op);
    // ForEachMember with `op` (member); when any succeeded, `own` keeps the value in the
    // composite's own record too. 1 or 0.
    template <class Op, class Own> int FanOut(bool normalOnly, Op op, Own own);
    // `get` on the first member; -1 when there is none or it is not usable.
    template <class Get> int FirstMember(Get get);

    mutable std::mutex m_membersLock;
    std::shared_ptr<const tagMembers> m_pMembers;
    std::mutex m_operationLock; // held for a whole DirectTake or Take
    std::atomic<int32_t> m_nCheckTime{500};
    std::atomic<int32_t> m_nCheckInterval{10}; // ms
};
