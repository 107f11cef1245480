// The clip copy manager's channel limits: how many copies may run at once between two stores
// and into or out of one store, read from the manager's setting, and which waiting jobs may
// start beside the running ones.
#pragma once

#include "platform/String.h"

#include <map>
#include <vector>

class ClipCopyChannelLimits {
public:
    enum LimitType { LIMIT_DEFAULT, LIMIT_ALLOWCHANNEL, LIMIT_MAXNODE };

    // The two stores of a job, as the job names them.
    struct Route {
        CString src;
        CString dest;
    };

    // Reads nMaxNode, nMaxChannel, ChannelLimitType and, for ALLOWCHANNEL, the two lists.
    void Load(const char *setting);

    LimitType GetType() const { return m_type; }
    // ALLOWCHANNEL: the allowed count of SRC-DEST (0 when not listed); MAXNODE: 1; default
    // type: nMaxChannel.
    int GetChannelLimit(const char *src, const char *dest) const;
    // The indexes of the waiting jobs, in order, that may start beside the running ones; each
    // started job counts at once against the jobs after it.
    std::vector<size_t> SelectStartable(const std::vector<Route> &running,
                                        const std::vector<Route> &waiting) const;

private:
    using Counts = std::map<CString, int>;

    std::vector<size_t> SelectByNodes(const std::vector<Route> &running,
                                      const std::vector<Route> &waiting) const;
    std::vector<size_t> SelectByAllowed(const std::vector<Route> &running,
                                        const std::vector<Route> &waiting) const;
    // The list items NAME:count (or NAME alone, counting 1) of `key` into `counts`.
    static void LoadCounts(const char *setting, const char *key, Counts &counts);

    LimitType m_type = LIMIT_DEFAULT;
    int m_nMaxNode = 255;   // jobs that may touch one store at a time
    int m_nMaxChannel = 1;  // jobs that may run between one pair of stores
    Counts m_allowChannel;  // "SRC-DEST" -> jobs allowed on that channel
    Counts m_allowDestNode; // "DEST" -> jobs allowed into that store
};
