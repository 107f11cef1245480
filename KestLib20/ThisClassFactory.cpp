#include "KestLib20/ThisClassFactory.h"

#include "KestLib20/IClassA.h"
#include "KestLib20/KestRtc.h"
#include "KestLib20/KestRtcMgr.h"

HRESULT CThisClassFactory::QueryInterface(const GUID *iid, void **object)
{
    if (!object) return E_POINTER;
    if (iid && IsEqualGUID(*iid, IID_IClassFactory)) {
        *object = static_cast<IClassFactory *>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

uint32_t CThisClassFactory::AddRef()
{
    return static_cast<uint32_t>(m_nRef.fetch_add(1));
}

uint32_t CThisClassFactory::Release()
{
    int32_t old = m_nRef.fetch_sub(1);
    if (old - 1 <= 0) delete this;
    return static_cast<uint32_t>(old);
}

HRESULT CThisClassFactory::CreateInstance(IUnknown *, const IID *iid, void **object)
{
    if (!object) return E_POINTER;
    *object = nullptr;
    if (!m_pRtc || !m_pRtc->IsKindOf(iid)) return E_NOINTERFACE;
    void *created = m_pRtc->CreateInstance(iid);
    if (!created) return E_FAIL;
    static_cast<IClassA *>(created)->AddRef();
    *object = created;
    return S_OK;
}

HRESULT CThisClassFactory::LockServer(int32_t lock)
{
    iRtcMgr *manager = m_pRtc ? m_pRtc->GetRtcMgr() : nullptr;
    if (!manager) return 1;
    manager->LockServer(lock);
    return S_OK;
}
