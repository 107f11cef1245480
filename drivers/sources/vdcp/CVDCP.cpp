#include "drivers/sources/vdcp/CVDCP.h"

#include "platform/TimeSource.h"

IMPLEMENT_KEST_CLASS(CVDCP, CSerialIO)

namespace {

constexpr uint8_t kSystemTimeRequest = 0x01;
constexpr uint8_t kSystemWordRequest = 0x02;
constexpr uint32_t kIdListPauseMs = 100;

// What GetSharedPort answers for a share mode of the engine already open.
constexpr int32_t kShareRefused = 1;
constexpr int32_t kShareFull = 2;
constexpr int32_t kShareShared = 3;
constexpr int32_t kShareTakeOver = 4;
constexpr int32_t kAccessOwn = 7;
constexpr int32_t kAccessShared = 6;

// `engine` as GetSharedPort hands it out: with its owners' share when it is jointly owned
// (the last release frees it) and with the lookup's hold (its destruction waits until the hold
// is released, after its close has cut the holder's request short).
std::shared_ptr<ISerialVDCP> Kept(CVDCP &engine, std::shared_ptr<CSerialIO> hold)
{
    struct Keep {
        std::shared_ptr<CVDCP> owners;
        std::shared_ptr<CSerialIO> hold; // released first
    };
    auto keep = std::make_shared<Keep>(Keep{engine.weak_from_this().lock(), std::move(hold)});
    return std::shared_ptr<ISerialVDCP>(std::move(keep), static_cast<ISerialVDCP *>(&engine));
}

} // namespace

CVDCP::CVDCP() : CSerialIO_VDCP(vdcp::Variant::Basic) {}

CVDCP::~CVDCP()
{
    Retire();
}

void CVDCP::SelectCommandSet(const char *name)
{
    vdcp::Variant variant = GetVariant();
    vdcp::SelectVariant(name, variant);
    SetVariant(variant);
}

int32_t CVDCP::SetPort(int32_t port, int32_t channel)
{
    Close();
    SetPortNumber(port);
    SetChannel(channel);
    return 1;
}

int32_t CVDCP::IsOpen()
{
    return IsAnswering() ? 1 : 0;
}

int32_t CVDCP::Open()
{
    if (IsAnswering()) return 1;
    if (!DevIsOpen()) CSerialIO::DevOpen();
    if (DevIsOpen()) QueryStatus(nullptr, nullptr, nullptr, 0, nullptr);
    return IsOpen();
}

int32_t CVDCP::Test()
{
    if (QuietFor(kTestQuietMs)) QueryStatus(nullptr, nullptr, nullptr, 0, nullptr);
    return IsOpen();
}

int32_t CVDCP::GetSharedPort(std::shared_ptr<ISerialVDCP> &itf, int32_t *kind)
{
    if (!kind) return 0;
    CVDCP *engine = nullptr; // another engine that holds the line and lets it be shared
    int32_t mode = 0;        // that engine's share mode
    bool foreign = false;    // a protocol object of another kind holds the line
    const std::shared_ptr<CSerialIO> route = OpenOrShare(
        [&](CSerialIO &holder) {
            auto *other = dynamic_cast<CVDCP *>(&holder);
            if (!other) {
                foreign = true;
                return ShareVerdict::Refuse;
            }
            mode = other->GetShareMode();
            if (mode != kShareTakeOver) {
                engine = other;
                return mode == kShareFull || mode == kShareShared ? ShareVerdict::Share
                                                                  : ShareVerdict::Refuse;
            }
            other->ClosePort(0);
            other->Close();
            return ShareVerdict::OpenOwn;
        },
        [this] { return OpenAttemptDue(); });
    if (foreign) {
        itf = nullptr;
        return 0;
    }
    if (engine) {
        switch (mode) {
        case kShareRefused:
            itf = nullptr;
            *kind = 0;
            return 0;
        case kShareFull:
            itf = Kept(*engine, route);
            *kind = kAccessOwn;
            return 1;
        case kShareShared:
            itf = Kept(*engine, route);
            *kind = kAccessShared;
            return 1;
        default:
            return itf ? 1 : 0;
        }
    }
    itf = route ? Kept(*this, route) : nullptr;
    *kind = kAccessOwn;
    return itf ? 1 : 0;
}

int32_t CVDCP::VariablePlay(double speed)
{
    return SendVariablePlay(speed, vdcp::ClampSpeed(speed) / 3);
}

int32_t CVDCP::RecordInit(const char *clip, int32_t duration, int32_t waitMs)
{
    const int ok = SendRecordInit(clip, duration);
    if (ok && waitMs > 0) WaitStatus(VDCP_ST_CUED, waitMs);
    return ok;
}

int32_t CVDCP::PresetWithData(const char *clip, int32_t first, int32_t second)
{
    return Exchange(vdcp::kPresetWithData,
                    vdcp::Data().ClipId(GetVariant(), clip).Timecode(first).Timecode(second));
}

int32_t CVDCP::GetPosition(int32_t *frames, int32_t ageMs, int32_t *since)
{
    return QueryPosition(frames, static_cast<uint32_t>(std::max(ageMs, 0)), since);
}

int32_t CVDCP::GetStatus(int32_t *status1, int32_t *status2, int32_t *extended, int32_t ageMs,
                         int32_t *since)
{
    return QueryStatus(status1, status2, extended, static_cast<uint32_t>(std::max(ageMs, 0)),
                       since);
}

int32_t CVDCP::GetSystemTime(timecode_t &time)
{
    vdcp::Reply reply;
    if (!Sense(vdcp::kSystemStatus, vdcp::Data().Byte(kSystemTimeRequest), 5, reply)) return 0;
    time = vdcp::GetTimecode(reply.Data() + 1);
    return 1;
}

int32_t CVDCP::GetSystemWord(int32_t *word)
{
    vdcp::Reply reply;
    if (!Sense(vdcp::kSystemStatus, vdcp::Data().Byte(kSystemWordRequest), 3, reply)) return 0;
    if (word) *word = reply.Data()[1] * 256 + reply.Data()[2];
    return 1;
}

int32_t CVDCP::GetIdSize(const char *clip, timecode_t &duration)
{
    int32_t frames = 0;
    if (!CSerialIO_VDCP::GetIdSize(clip, &frames)) return 0;
    duration = frames;
    return 1;
}

int32_t CVDCP::RenameId(const char *from, const char *to)
{
    return Exchange(vdcp::kRenameId,
                    vdcp::Data().ClipId(GetVariant(), from).ClipId(GetVariant(), to));
}

int32_t CVDCP::GetIdListNext(int32_t *more, CStringArray &names)
{
    vdcp::Reply reply;
    int32_t rest = 0;
    if (!Exchange(vdcp::kIdListNext, vdcp::Data(), kTries, &reply) ||
        !vdcp::ParseIdList(reply, rest, names))
        return 0;
    if (more) *more = rest;
    return 1;
}

int32_t CVDCP::GetIdList(CStringArray &names, int32_t, int32_t limit)
{
    names.RemoveAll();
    vdcp::Reply reply;
    int32_t more = 0;
    if (!Exchange(vdcp::kIdList, vdcp::Data(), kTries, &reply) ||
        !vdcp::ParseIdList(reply, more, names))
        return 0;
    while (more != 0 && names.GetSize() <= limit) {
        plat::Sleep(kIdListPauseMs);
        if (!GetIdListNext(&more, names)) break;
    }
    return 1;
}
