// The simulated video servers behind the library's entry points. One lock guards the whole
// state; every entry point takes it, counts its call and may fail on request.
#include "platform/hpvs/Hpvs.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace {

struct Copy {
    std::string sourceNode, clip, destNode, destClip;
    double percent = 0;
    int32_t state = HPVS_CMD_RUNNING;
};

struct Sim {
    std::mutex lock;
    bool initialised = false;
    std::string contact;
    std::map<std::string, std::map<std::string, int32_t>> nodes; // node -> clip -> frames
    std::set<int32_t> connections;
    int32_t lastHandle = 0;
    std::map<int32_t, Copy> copies;
    int32_t lastCommand = 0;
    double step = 10, stallAt = 100, failAt = 1000;
    // Listings under way: continuation value -> the node and the index of its next name.
    std::map<int32_t, std::pair<std::string, int32_t>> listings;
    int32_t lastListing = 0;
    std::map<std::string, int32_t> failNext, calls;
};

Sim &State()
{
    static Sim sim;
    return sim;
}

// Holds the lock for one entry point, counts the call and fills the status block.
class Call {
public:
    Call(const char *entry, hpvs_status_t *status)
        : m_sim(State()), m_lk(m_sim.lock), m_status(status)
    {
        ++m_sim.calls[entry];
        int32_t &fail = m_sim.failNext[entry];
        if (fail > 0) {
            --fail;
            m_failed = true;
        }
    }
    Sim &sim() { return m_sim; }
    bool Failed() const { return m_failed; }
    int32_t Result(int32_t code)
    {
        if (m_status) {
            std::memset(m_status, 0, sizeof *m_status);
            m_status->code = code;
            std::snprintf(m_status->text, sizeof m_status->text, "hpvs result %d", code);
        }
        return code;
    }
    // The failure asked for, a missing init or an unknown handle; 0 when the call may go on.
    int32_t Check(bool needHandle, int32_t handle = 0)
    {
        if (m_failed) return Result(HPVS_ERR_FAILED);
        if (!m_sim.initialised) return Result(HPVS_ERR_NOTINIT);
        if (needHandle && !m_sim.connections.count(handle)) return Result(HPVS_ERR_HANDLE);
        return 0;
    }

private:
    Sim &m_sim;
    std::lock_guard<std::mutex> m_lk;
    hpvs_status_t *m_status;
    bool m_failed = false;
};

template <size_t N> void CopyName(char (&out)[N], const std::string &name)
{
    std::memset(out, 0, N);
    std::memcpy(out, name.data(), std::min(name.size(), N - 1));
}

std::string Text(const char *text)
{
    return text ? text : "";
}

// Up to `max` names of the node from index `first`; the index after them.
int32_t ListFrom(Sim &sim, const std::string &node, int32_t first, int32_t max,
                 char (*names)[HPVS_CLIP_NAME], int32_t *count, int32_t *more, int32_t &after)
{
    const auto found = sim.nodes.find(node);
    if (found == sim.nodes.end()) return HPVS_ERR_NOTFOUND;
    std::vector<std::string> all;
    for (const auto &[clip, frames] : found->second) all.push_back(clip);
    int32_t n = 0;
    for (size_t i = static_cast<size_t>(first); i < all.size() && n < max; ++i, ++n)
        CopyName(names[n], all[i]);
    *count = n;
    after = first + n;
    *more = static_cast<size_t>(after) < all.size() ? 1 : 0;
    return HPVS_OK;
}

// A listing with more to come gets a continuation value of its own, as the server's are: a
// handle, not a position, valid until the listing has been read to its end.
void Continue(Sim &sim, const std::string &node, int32_t after, int32_t more, int32_t *next)
{
    if (!more) return;
    *next = 0x4C00 + ++sim.lastListing;
    sim.listings[*next] = {node, after};
}

} // namespace

extern "C" {

int32_t hpvsInit(char *buffer)
{
    Call call("hpvsInit", nullptr);
    if (buffer) std::memset(buffer, 0, 256);
    if (call.Failed()) return HPVS_ERR_FAILED;
    call.sim().contact = Text(std::getenv("HPVSCONTACT"));
    call.sim().initialised = true;
    return HPVS_OK;
}

int32_t hpvsShutdown(hpvs_status_t *status)
{
    Call call("hpvsShutdown", status);
    if (const int32_t fail = call.Check(false)) return fail;
    call.sim().initialised = false;
    call.sim().connections.clear();
    return call.Result(HPVS_OK);
}

int32_t hpvsCreateConn(const char *, int32_t, int32_t *handle, hpvs_status_t *status)
{
    Call call("hpvsCreateConn", status);
    *handle = 0;
    if (const int32_t fail = call.Check(false)) return fail;
    *handle = ++call.sim().lastHandle;
    call.sim().connections.insert(*handle);
    return call.Result(HPVS_OK);
}

int32_t hpvsDestroyConn(int32_t handle, hpvs_status_t *status)
{
    Call call("hpvsDestroyConn", status);
    if (const int32_t fail = call.Check(true, handle)) return fail;
    call.sim().connections.erase(handle);
    return call.Result(HPVS_OK);
}

int32_t hpvsListNodes(int32_t max, hpvs_node_t *nodes, int32_t *count, int32_t *more, int32_t *next,
                      hpvs_status_t *status)
{
    Call call("hpvsListNodes", status);
    *count = 0;
    *more = 0;
    if (const int32_t fail = call.Check(false)) return fail;
    for (const auto &[name, clips] : call.sim().nodes) {
        if (*count >= max) {
            *more = 1;
            break;
        }
        CopyName(nodes[(*count)++].name, name);
    }
    *next = *count;
    return call.Result(HPVS_OK);
}

int32_t hpvsNextNodes(int32_t next, int32_t max, hpvs_node_t *nodes, int32_t *count, int32_t *more,
                      hpvs_status_t *status)
{
    Call call("hpvsNextNodes", status);
    *count = 0;
    *more = 0;
    if (const int32_t fail = call.Check(false)) return fail;
    int32_t index = 0;
    for (const auto &[name, clips] : call.sim().nodes) {
        if (index++ < next) continue;
        if (*count >= max) {
            *more = 1;
            break;
        }
        CopyName(nodes[(*count)++].name, name);
    }
    return call.Result(HPVS_OK);
}

int32_t hpvsListMedia(const char *node, int32_t, int32_t max, char (*names)[HPVS_CLIP_NAME],
                      int32_t handle, int32_t *count, int32_t *more, int32_t *next,
                      hpvs_status_t *status)
{
    Call call("hpvsListMedia", status);
    *count = 0;
    *more = 0;
    if (const int32_t fail = call.Check(true, handle)) return fail;
    if (next) *next = 0;
    int32_t after = 0;
    const int32_t result = ListFrom(call.sim(), Text(node), 0, max, names, count, more, after);
    if (result == HPVS_OK && next) Continue(call.sim(), Text(node), after, *more, next);
    return call.Result(result);
}

int32_t hpvsNextMedia(int32_t next, int32_t max, char (*names)[HPVS_CLIP_NAME], int32_t *count,
                      int32_t *more, hpvs_status_t *status)
{
    Call call("hpvsNextMedia", status);
    *count = 0;
    *more = 0;
    if (const int32_t fail = call.Check(false)) return fail;
    Sim &sim = call.sim();
    const auto listing = sim.listings.find(next);
    if (listing == sim.listings.end()) return call.Result(HPVS_ERR_NOTFOUND);
    int32_t after = 0;
    const int32_t result = ListFrom(sim, listing->second.first, listing->second.second, max, names,
                                    count, more, after);
    listing->second.second = after;
    if (result != HPVS_OK || !*more) sim.listings.erase(listing);
    return call.Result(result);
}

int32_t hpvsDeleteMedia(const char *node, const char *clip, int32_t handle, hpvs_status_t *status)
{
    Call call("hpvsDeleteMedia", status);
    if (const int32_t fail = call.Check(true, handle)) return fail;
    auto found = call.sim().nodes.find(Text(node));
    if (found == call.sim().nodes.end() || !found->second.erase(Text(clip)))
        return call.Result(HPVS_ERR_NOTFOUND);
    return call.Result(HPVS_OK);
}

int32_t hpvsRenameFile(int32_t handle, const char *from, const char *to, hpvs_status_t *status)
{
    Call call("hpvsRenameFile", status);
    if (const int32_t fail = call.Check(true, handle)) return fail;
    // The name is looked for on every node, as the server's file system spans them.
    for (auto &[node, clips] : call.sim().nodes) {
        const auto found = clips.find(Text(from));
        if (found == clips.end()) continue;
        if (clips.count(Text(to))) return call.Result(HPVS_ERR_EXISTS);
        const int32_t frames = found->second;
        clips.erase(found);
        clips[Text(to)] = frames;
        return call.Result(HPVS_OK);
    }
    return call.Result(HPVS_ERR_NOTFOUND);
}

int32_t hpvsQueryMedia(const char *node, const char *clip, int32_t handle, hpvs_media_t *media,
                       hpvs_status_t *status)
{
    Call call("hpvsQueryMedia", status);
    std::memset(media, 0, sizeof *media);
    if (const int32_t fail = call.Check(true, handle)) return fail;
    const auto found = call.sim().nodes.find(Text(node));
    if (found == call.sim().nodes.end()) return call.Result(HPVS_ERR_NOTFOUND);
    const auto entry = found->second.find(Text(clip));
    if (entry == found->second.end()) return call.Result(HPVS_ERR_NOTFOUND);
    CopyName(media->name, entry->first);
    const int32_t frames = entry->second;
    media->duration.hours = frames / 90000;
    media->duration.minutes = frames / 1500 % 60;
    media->duration.seconds = frames / 25 % 60;
    media->duration.frames = frames % 25;
    return call.Result(HPVS_OK);
}

int32_t hpvsCopyMedia(const char *sourceNode, const char *clip, const char *destNode,
                      const char *destClip, int32_t, int32_t handle, int32_t *command,
                      hpvs_status_t *status)
{
    Call call("hpvsCopyMedia", status);
    *command = 0;
    if (const int32_t fail = call.Check(true, handle)) return fail;
    Sim &sim = call.sim();
    const auto source = sim.nodes.find(Text(sourceNode));
    if (source == sim.nodes.end() || !source->second.count(Text(clip)) ||
        !sim.nodes.count(Text(destNode)))
        return call.Result(HPVS_ERR_NOTFOUND);
    *command = ++sim.lastCommand;
    sim.copies[*command] = {Text(sourceNode), Text(clip), Text(destNode),
                            destClip && *destClip ? destClip : Text(clip)};
    return call.Result(HPVS_OK);
}

int32_t hpvsCmdStatus(int32_t command, int32_t, hpvs_cmd_t *record, hpvs_status_t *status)
{
    Call call("hpvsCmdStatus", status);
    std::memset(record, 0, sizeof *record);
    if (const int32_t fail = call.Check(false)) return fail;
    Sim &sim = call.sim();
    const auto found = sim.copies.find(command);
    if (found == sim.copies.end()) return call.Result(HPVS_ERR_NOTFOUND);
    Copy &copy = found->second;
    if (copy.state == HPVS_CMD_RUNNING) {
        copy.percent = std::min({copy.percent + sim.step, sim.stallAt, 100.0});
        if (copy.percent >= 90) {
            const auto source = sim.nodes[copy.sourceNode].find(copy.clip);
            const int32_t frames = source == sim.nodes[copy.sourceNode].end() ? 0 : source->second;
            sim.nodes[copy.destNode][copy.destClip] = frames;
        }
        if (copy.percent >= 100) copy.state = HPVS_CMD_DONE;
    }
    if (copy.percent >= sim.failAt) return call.Result(HPVS_ERR_FAILED);
    record->state = copy.state;
    record->percentDone = copy.percent;
    return call.Result(HPVS_OK);
}

int32_t hpvsTerminateCmd(int32_t command, hpvs_status_t *status)
{
    Call call("hpvsTerminateCmd", status);
    if (const int32_t fail = call.Check(false)) return fail;
    const auto found = call.sim().copies.find(command);
    if (found == call.sim().copies.end()) return call.Result(HPVS_ERR_NOTFOUND);
    found->second.state = HPVS_CMD_TERMINATED;
    return call.Result(HPVS_OK);
}

void hpvsSimReset(void)
{
    Sim &sim = State();
    std::lock_guard<std::mutex> lk(sim.lock);
    sim.nodes.clear();
    sim.connections.clear();
    sim.copies.clear();
    sim.lastHandle = sim.lastCommand = 0;
    sim.listings.clear();
    sim.step = 10;
    sim.stallAt = 100;
    sim.failAt = 1000;
    sim.failNext.clear();
    sim.calls.clear();
}

void hpvsSimAddClip(const char *node, const char *clip, int32_t frames)
{
    Sim &sim = State();
    std::lock_guard<std::mutex> lk(sim.lock);
    auto &clips = sim.nodes[Text(node)];
    if (clip && *clip) clips[clip] = frames;
}

int32_t hpvsSimClipFrames(const char *node, const char *clip)
{
    Sim &sim = State();
    std::lock_guard<std::mutex> lk(sim.lock);
    const auto found = sim.nodes.find(Text(node));
    if (found == sim.nodes.end()) return -1;
    const auto entry = found->second.find(Text(clip));
    return entry == found->second.end() ? -1 : entry->second;
}

void hpvsSimSetCopy(double step, double stallAt, double failAt)
{
    Sim &sim = State();
    std::lock_guard<std::mutex> lk(sim.lock);
    sim.step = step;
    sim.stallAt = stallAt;
    sim.failAt = failAt;
}

void hpvsSimFailNext(const char *entry, int32_t times)
{
    Sim &sim = State();
    std::lock_guard<std::mutex> lk(sim.lock);
    sim.failNext[Text(entry)] = times;
}

int32_t hpvsSimCalls(const char *entry)
{
    Sim &sim = State();
    std::lock_guard<std::mutex> lk(sim.lock);
    const auto found = sim.calls.find(Text(entry));
    return found == sim.calls.end() ? 0 : found->second;
}

const char *hpvsSimContact(void)
{
    Sim &sim = State();
    std::lock_guard<std::mutex> lk(sim.lock);
    return sim.contact.c_str();
}

int32_t hpvsSimInitialised(void)
{
    Sim &sim = State();
    std::lock_guard<std::mutex> lk(sim.lock);
    return sim.initialised ? 1 : 0;
}

} // extern "C"
