// The class factory a run-time class record hands out (iRtc::GetClassFactory): makes objects
// of that record's class for an interface the record lists.
#pragma once

#include "platform/ComTypes.h"

#include <atomic>
#include <cstdint>

class iRtc;

class CThisClassFactory final : public IClassFactory {
public:
    // Starts with no reference: the receiver adds the first.
    explicit CThisClassFactory(iRtc *rtc) : m_pRtc(rtc) {}

    // Answers IID_IClassFactory only; any other interface clears `object` and fails.
    HRESULT QueryInterface(const GUID *iid, void **object) override;
    // Both return the count before the change; Release deletes the factory at 0.
    uint32_t AddRef() override;
    uint32_t Release() override;
    // A new object with one reference when the record lists `iid`; E_NOINTERFACE otherwise.
    HRESULT CreateInstance(IUnknown *outer, const IID *iid, void **object) override;
    // Forwarded to the record's class manager; 1 without one.
    HRESULT LockServer(int32_t lock) override;

private:
    ~CThisClassFactory() = default;

    iRtc *m_pRtc;
    std::atomic<int32_t> m_nRef{0};
};
