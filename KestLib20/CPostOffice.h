// The process's packet post office (see IPostOffice). Deliveries run outside its lock; a box
// that is removed is not delivered to any more once the removal returns.
#pragma once

#include "KestLib20/CCallGate.h"
#include "KestLib20/CDataLock.h"
#include "KestLib20/IPostOffice.h"

#include <cstdint>
#include <vector>

class CPostOffice : public IPostOffice {
public:
    // Publishes itself in `slot`; without one, in a slot that lives as long as the process.
    explicit CPostOffice(IPostOffice **slot = nullptr);
    // Stops the service and clears the slot.
    virtual ~CPostOffice();
    CPostOffice(const CPostOffice &) = delete;
    CPostOffice &operator=(const CPostOffice &) = delete;

    IPostOffice **GetActivePtr() override { return m_ppSlot; }
    int32_t LockServer(int32_t lock) override;
    int32_t StopService() override;
    int32_t Register(IMailBoxA *box) override;
    int32_t Unregister(int32_t id) override;
    IMailBoxA *GetByID(int32_t id) override;
    IMailBoxA *GetAt(int32_t index) override;
    int32_t GetCount() override;
    int32_t SendMail(const char *name, CPacket &packet) override;
    int32_t SendMail(int32_t id, CPacket &packet) override;
    int32_t FindByName(const char *name, int32_t *ids, int32_t *count) override;

private:
    static constexpr int kIdTries = 1000;

    // Under the lock.
    IMailBoxA *FindLocked(int32_t id) const;
    int32_t NextAutoIdLocked();
    static void Forget(IMailBoxA *box);

    int32_t m_nIdCounter = kLastFixedId;
    CDataLock m_lock;
    std::vector<IMailBoxA *> m_boxes; // registration order
    IPostOffice **m_ppSlot;
    CCallGate m_gate; // deliveries in progress, by box
};
