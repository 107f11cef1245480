#include "drivers/sources/vdcp/CVideoRec_VDCPX.h"

IMPLEMENT_KEST_CLASS(CVideoRec_VDCPX, CVideoRecA)
IMPLEMENT_KEST_CLASS(CVideoRec_Leitch, CVideoRec_VDCPX)
IMPLEMENT_KEST_CLASS(CVideoRec_Pinnacle, CVideoRec_VDCPX)
IMPLEMENT_KEST_CLASS(CVideoRec_Dayang, CVideoRec_VDCPX)

namespace {

// The encoder commands over a protocol engine.
class EngineEncoder final : public IVdcpEncoder {
public:
    explicit EngineEncoder(ISerialVDCP &engine) : m_engine(engine) {}
    int Status(int32_t *status1, int32_t *status2) override
    {
        return m_engine.GetStatus(status1, status2, nullptr, 0, nullptr);
    }
    int Stop() override { return m_engine.Stop(); }
    int RecordInit(const char *clip, int32_t frames, int32_t waitMs) override
    {
        return m_engine.RecordInit(clip, frames, waitMs);
    }
    int Record() override { return m_engine.Record(); }
    int IdRequest(const char *clip, int32_t *answer) override
    {
        return m_engine.IdRequest(clip, answer);
    }
    int IdSize(const char *clip, int32_t *frames) override
    {
        timecode_t size;
        if (!m_engine.GetIdSize(clip, size)) return 0;
        *frames = size;
        return 1;
    }
    int DeleteId(const char *clip) override { return m_engine.DeleteId(clip); }

private:
    ISerialVDCP &m_engine;
};

} // namespace

CVideoRec_VDCPX::CVideoRec_VDCPX() : CVideoRec_VDCPX("BASIC", 5) {}

CVideoRec_VDCPX::CVideoRec_VDCPX(const char *commandSet, int32_t options)
    : m_Route(commandSet, options)
{
}

CVideoRec_VDCPX::~CVideoRec_VDCPX()
{
    Cancel();
}

CVideoRec_Leitch::CVideoRec_Leitch() : CVideoRec_VDCPX("NEW", 7) {}
CVideoRec_Pinnacle::CVideoRec_Pinnacle() : CVideoRec_VDCPX("BASIC", 5) {}
CVideoRec_Dayang::CVideoRec_Dayang() : CVideoRec_VDCPX("BASIC", 0) {}

int32_t CVideoRec_VDCPX::OnInitInstance()
{
    if (!VdcpRecorder::OnInitInstance()) return 0;
    m_Route.ReadSettings(GetSettingInfo());
    return 1;
}

std::shared_ptr<ISerialVDCP> CVideoRec_VDCPX::GetVDCP(int32_t *kind)
{
    return m_Route.Get(kind);
}

int CVideoRec_VDCPX::DevOpen()
{
    m_Route.Open(*this, GetEncoder());
    return 1;
}

int CVideoRec_VDCPX::DevClose()
{
    Cancel();
    SetDevName("DEV_VSRC_UNKNOWN");
    m_Route.Close();
    return 1;
}

int CVideoRec_VDCPX::DevIsOpen()
{
    const std::shared_ptr<ISerialVDCP> engine = GetVDCP(nullptr);
    return engine ? engine->IsOpen() : 0;
}

int CVideoRec_VDCPX::DevTest(const char *)
{
    if (m_Route.GetDuplex()) return 1;
    const std::shared_ptr<ISerialVDCP> engine = m_Route.OpenRoute(*this, GetEncoder());
    const int ok = engine ? engine->Test() : 0;
    SetDevStatus(ok ? DEVSTATUS_NORMAL : DEVSTATUS_RUN_FAILED);
    return ok;
}

int CVideoRec_VDCPX::OnEncoder(const EncoderStep &step)
{
    const std::shared_ptr<ISerialVDCP> engine = m_Route.OpenRoute(*this, GetEncoder());
    if (!engine) return 0;
    EngineEncoder encoder(*engine);
    return step(encoder);
}
