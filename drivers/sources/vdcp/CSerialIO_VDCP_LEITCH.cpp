#include "drivers/sources/vdcp/CSerialIO_VDCP_LEITCH.h"

#include "KestLib20/CStrings.h"

namespace {

constexpr double kCounterShuttle = 10;
constexpr uint32_t kPositionAgeMs = 2000;
constexpr uint8_t kSystemWordRequest = 0x02;

} // namespace

bool vdcp::ParseNewIdList(const Reply &reply, CStringArray &names)
{
    const int n = reply.DataLength();
    if (n < 2) return false;
    const uint8_t *in = reply.Data();
    CStrings ids;
    for (int at = 2; at < n;) {
        const int length = in[at++];
        const int take = std::min(length, n - at); // an id cut short by the reply's end
        if (take > 0 && in[at] != 0)
            ids.Add(CString(reinterpret_cast<const char *>(in + at), take));
        at += take;
    }
    ids.Pack();
    for (int i = 0; i < ids.GetSize(); ++i) names.Add(ids[i]);
    return true;
}

// The Leitch server wants 50 ms between writes; the other VDCP ports write at once.
CSerialIO_VDCP_LEITCH::CSerialIO_VDCP_LEITCH() : CSerialIO_VDCP(vdcp::Variant::New, 50) {}

CSerialIO_VDCP_LEITCH::~CSerialIO_VDCP_LEITCH()
{
    Retire();
}

std::shared_ptr<CSerialIO_VDCP_LEITCH> CSerialIO_VDCP_LEITCH::GetActivePort()
{
    // A port object of another kind speaks another dialect: refused.
    return OpenOrShare<CSerialIO_VDCP_LEITCH>([this] { return OpenAttemptDue(); });
}

int CSerialIO_VDCP_LEITCH::Open()
{
    if (IsAnswering()) return 1;
    if (!DevIsOpen()) CSerialIO::DevOpen();
    if (DevIsOpen()) QueryStatus(nullptr, nullptr, nullptr, 0, nullptr);
    return IsOpen();
}

int CSerialIO_VDCP_LEITCH::Test()
{
    if (QuietFor(kStaleMs)) QueryStatus(nullptr, nullptr, nullptr, 0, nullptr);
    return IsOpen();
}

int CSerialIO_VDCP_LEITCH::GetStatus(int32_t *status1, int32_t *status2, int32_t cached)
{
    return QueryStatus(status1, status2, nullptr, cached ? kStaleMs : 0, nullptr);
}

int CSerialIO_VDCP_LEITCH::GetPosition(int32_t *frames, int32_t cached)
{
    return QueryPosition(frames, cached ? kPositionAgeMs : 0, nullptr);
}

int CSerialIO_VDCP_LEITCH::VariablePlay(double speed)
{
    return SendVariablePlay(speed, speed > 0 ? kCounterShuttle : -kCounterShuttle);
}

int CSerialIO_VDCP_LEITCH::RecordInit(const char *clip, int32_t duration, int32_t waitMs)
{
    if (!SendRecordInit(clip, duration)) return 0;
    return waitMs > 0 ? WaitStatus(VDCP_ST_CUED, waitMs) : 1;
}

int CSerialIO_VDCP_LEITCH::GetSystemWord(int32_t *word)
{
    vdcp::Reply reply;
    if (!Sense(vdcp::kSystemStatus, vdcp::Data().Byte(kSystemWordRequest), 3, reply)) return 0;
    if (word) *word = reply.Data()[1] * 256 + reply.Data()[2];
    return 1;
}

int CSerialIO_VDCP_LEITCH::GetIdList(CStringArray &names, int32_t, int32_t)
{
    names.RemoveAll();
    vdcp::Reply reply;
    if (!Exchange(vdcp::kIdList, vdcp::Data(), kTries, &reply)) return 0;
    return vdcp::ParseNewIdList(reply, names) ? 1 : 0;
}
