#include "drivers/tasks/ClipCopyChannelLimits.h"

#include "KestLib20/CResAccess.h"

#include <algorithm>
#include <cstdlib>

namespace {

CString Upper(const CString &text)
{
    CString upper = text;
    return upper.MakeUpper();
}

// "SRC-DEST" of upper-cased store names, in the order given.
CString OrderedKey(const CString &src, const CString &dest)
{
    return Upper(src) + "-" + Upper(dest);
}

// The same pair whichever way the copy goes: the name that sorts higher comes first.
CString UnorderedKey(const CString &a, const CString &b)
{
    const CString first = Upper(a), second = Upper(b);
    return first.Compare(second) >= 0 ? first + "-" + second : second + "-" + first;
}

int CountOf(const std::map<CString, int> &counts, const CString &key)
{
    const auto found = counts.find(key);
    return found == counts.end() ? 0 : found->second;
}

} // namespace

void ClipCopyChannelLimits::Load(const char *setting)
{
    CResAccess access(setting);
    m_nMaxNode = access["nMaxNode"].GetAsInteger(255);
    m_nMaxChannel = access["nMaxChannel"].GetAsInteger(1);
    m_allowChannel.clear();
    m_allowDestNode.clear();
    const CString type = Upper(access["ChannelLimitType"].GetAsString());
    if (type == "ALLOWCHANNEL") {
        m_type = LIMIT_ALLOWCHANNEL;
        LoadCounts(setting, "AllowChannel", m_allowChannel);
        LoadCounts(setting, "AllowTaskCountofDestNode", m_allowDestNode);
    } else if (type == "MAXNODE") {
        m_type = LIMIT_MAXNODE;
        m_nMaxChannel = 255;
    } else {
        m_type = LIMIT_DEFAULT;
        m_nMaxNode = 255;
    }
}

void ClipCopyChannelLimits::LoadCounts(const char *setting, const char *key, Counts &counts)
{
    CStringArray items;
    CResAccess(setting)[key].GetAsStringArray(items);
    for (int i = 0; i < items.GetSize(); ++i) {
        CString item = items[i];
        item.Trim();
        if (item.IsEmpty()) continue;
        const int colon = item.Find(':');
        // Names are looked up upper-cased, so an item without a count is upper-cased too.
        if (colon < 0) {
            counts[Upper(item)] = 1;
            continue;
        }
        const int count = atoi(item.Mid(colon + 1));
        counts[Upper(item.Left(colon))] = std::max(count, 1);
    }
}

int ClipCopyChannelLimits::GetChannelLimit(const char *src, const char *dest) const
{
    switch (m_type) {
    case LIMIT_ALLOWCHANNEL:
        return CountOf(m_allowChannel, OrderedKey(src, dest));
    case LIMIT_MAXNODE:
        return 1;
    default:
        return m_nMaxChannel;
    }
}

std::vector<size_t> ClipCopyChannelLimits::SelectStartable(const std::vector<Route> &running,
                                                           const std::vector<Route> &waiting) const
{
    return m_type == LIMIT_ALLOWCHANNEL ? SelectByAllowed(running, waiting)
                                        : SelectByNodes(running, waiting);
}

std::vector<size_t> ClipCopyChannelLimits::SelectByNodes(const std::vector<Route> &running,
                                                         const std::vector<Route> &waiting) const
{
    Counts nodes, channels;
    const auto count = [&](const Route &route) {
        ++nodes[Upper(route.src)];
        ++nodes[Upper(route.dest)];
        ++channels[UnorderedKey(route.src, route.dest)];
    };
    for (const Route &route : running) count(route);

    std::vector<size_t> startable;
    for (size_t i = 0; i < waiting.size(); ++i) {
        const Route &route = waiting[i];
        if (CountOf(nodes, Upper(route.src)) < m_nMaxNode &&
            CountOf(nodes, Upper(route.dest)) < m_nMaxNode &&
            CountOf(channels, UnorderedKey(route.src, route.dest)) < m_nMaxChannel) {
            count(route);
            startable.push_back(i);
        }
    }
    return startable;
}

std::vector<size_t> ClipCopyChannelLimits::SelectByAllowed(const std::vector<Route> &running,
                                                           const std::vector<Route> &waiting) const
{
    Counts channels, dests;
    const auto count = [&](const Route &route) {
        ++channels[OrderedKey(route.src, route.dest)];
        ++dests[Upper(route.dest)];
    };
    for (const Route &route : running) count(route);

    std::vector<size_t> startable;
    for (size_t i = 0; i < waiting.size(); ++i) {
        const Route &route = waiting[i];
        const CString channel = OrderedKey(route.src, route.dest), dest = Upper(route.dest);
        if (CountOf(channels, channel) < CountOf(m_allowChannel, channel) &&
            CountOf(dests, dest) < CountOf(m_allowDestNode, dest)) {
            count(route);
            startable.push_back(i);
        }
    }
    return startable;
}
