// The base of every serial protocol object. It owns one port object of a chosen kind, keeps
// the line settings, runs every operation on the line under one port lock, and receives the
// line's bytes through OnRecvData. Devices on one line share one protocol object: a driver
// asks GetByActivePort first and makes its own only when there is none. Request is the one
// request-and-reply loop that every protocol runs on this base.
//
// The lookups (GetByActivePort, OpenOrShare) hand out held references: an object found may
// belong to another device, and the destruction of that device waits until the reference is
// released. Keep one for an operation, never beyond it.
#pragma once

#include "Kest20/ClassA.h"
#include "KestLib20/CDataLock.h"
#include "KestLib20/buffer_t.h"
#include "devext/Devext20Api.h"
#include "devext/device/COM_SETTING.h"
#include "platform/Collections.h"
#include "platform/Sync.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <utility>

class IStringAccess;
class CSerialDevA;

class DEVEXT20_API CSerialIO : public CClassA {
    DECLARE_KEST_CLASS(CSerialIO)

    // The receive buffer of a request-and-reply protocol: the bytes, and how many appends
    // filled it since it was last emptied.
    class DEVEXT20_API CBuffer : public CByteArray {
    public:
        void RemoveAll();
        // Nothing for a null `data` or a `length` below 1.
        void Append(const void *data, int length);
        // Removes the first `count` bytes (all of them when there are fewer).
        void Delete(int count);
        // The index of the first `byte`, -1 when there is none.
        int Find(unsigned char byte) const;
        // Removes the bytes before the first one that is in the `n` bytes of `set`; with no
        // such byte (or an empty set) it empties the buffer. The count removed.
        int DeleteUntil(const unsigned char *set, int n);
        int32_t GetAppendCount() const { return m_nAppendCount; }

    private:
        int32_t m_nAppendCount = 0;
    };

    // What a protocol makes of the reply that its OnRecvData signalled.
    enum class ReplyCheck {
        Accept,      // the request succeeded
        Refuse,      // the device refused it (a negative acknowledgement): no further try
        Retry,       // not the awaited reply: the next try
        KeepWaiting, // the answer is still to come: no further try is written, but the
                     // request waits on for the rest of its reply waits
    };
    using ReplyTest = std::function<ReplyCheck()>;
    // How a request ended (Closed: the port closed, or the hooks' stop was set, while a try
    // awaited its reply or paused).
    enum class RequestEnd { Accepted, Refused, Unanswered, WriteFailed, Closed };
    // What a request reports: how it ended and the tries it began (a try whose write failed
    // counts; the tries that only waited on for a reply count too).
    struct RequestResult {
        RequestEnd end = RequestEnd::Unanswered;
        int tries = 0;
    };
    // What a protocol does on each try of a request: `arm` runs under the receive lock, after
    // the receive buffer is emptied and before the frame is written (a protocol resets its
    // reply decoder there, so that nothing of an earlier try answers this one); `test` judges
    // the reply that OnRecvData signalled (none: any reply is accepted); `ended` (optional)
    // runs once the request has ended, still under the request lock; `stop` (optional), once
    // set, cuts the reply waits and the pauses short and ends the request as Closed.
    struct TryHooks {
        TryHooks() : stop(nullptr) {}
        TryHooks(std::function<void()> armHook, ReplyTest testHook = {},
                 std::function<void(RequestEnd)> endedHook = {},
                 const plat::Waitable *stopSignal = nullptr)
            : arm(std::move(armHook)), test(std::move(testHook)), ended(std::move(endedHook)),
              stop(stopSignal)
        {
        }
        std::function<void()> arm;
        ReplyTest test;
        std::function<void(RequestEnd)> ended;
        const plat::Waitable *stop;
    };
    // What the open-or-share rule makes of another object that holds the port number open.
    enum class ShareVerdict {
        Share,   // send through it
        Refuse,  // the line is taken: none
        OpenOwn, // it let the line go: open this object's port
    };

    CSerialIO();
    CSerialIO(const CSerialIO &) = delete;
    CSerialIO &operator=(const CSerialIO &) = delete;
    // Retires the object. A derived protocol retires it in its own destructor, so that no
    // delivery and no holder reaches it once its members are gone.
    ~CSerialIO() override;

    // The port object's operations under the port lock; 0 while no port object is held or
    // when the operation throws.
    virtual int DevWrite(const char *data, int length);
    virtual int DevRead(char *buffer, int &length);
    virtual int DevFlush(int mode);
    virtual int DevIsOpen();
    virtual int DevBreak(int time);
    // Every block of bytes the line receives, with its port number, on the port's delivering
    // thread and not under the port lock; the bytes live during the call. Base: 0.
    virtual int OnRecvData(int port, pointer_t &data);

    // 1 at once when open; else opens a port object of the port class (any kind when none is
    // set) with the settings and routes its received bytes to OnRecvData. 1 when one is held;
    // 0 once the object is retired.
    int DevOpen();
    // Closes and releases the port object, and wakes a request waiting for its reply. 1.
    int DevClose();
    int DevBreakWH();

    // The line of a device model: port number, baud, data bits, parity code, stop-bit code,
    // the last setting value (the half-duplex pause) and the port class (null: the first kind
    // that opens).
    struct Line {
        uint16_t port;
        uint16_t baud;
        uint16_t dataBits;
        uint16_t parity;
        uint16_t stopBits;
        uint16_t last;
        iRtc *portClass;
    };
    // The line's settings and port class; they take effect at the next open.
    void SetLine(const Line &line);
    Line GetLine() const;
    int32_t GetPortNumber() const { return GetSetting().nPort; }
    // Takes effect at the next open. A number outside 0..65535 changes nothing: 0; else 1.
    // A protocol that must let go of the old port first overrides it.
    virtual int SetPortNumber(int32_t port);
    // The integer key `key` of the setting `path` as the port number (see SetPortNumber); a
    // missing key or a number that does not fit leaves it as it is: 0. Port keys are read
    // this one way, whatever the case of the key's name a model gives ("COM", "Com").
    int ReadPortKey(const char *path, const char *key);
    // The same for a key already looked up (an item of a property list).
    int ReadPortKey(IStringAccess &&key);

    // While no port object is held: the keys "COM", "COM_Baud" and "Parity" (first letter,
    // upper case: N O E M S) of `path` (null: the own setting path) into the settings. A
    // missing key, a number that does not fit its 16-bit field or another letter leaves the
    // value as it is.
    void SetConfig(const char *path = nullptr);
    COM_SETTING GetSetting() const;

    // One request and its reply, under the request lock: up to `tries` times, `pauseMs`
    // apart, empty the receive buffer (after DevFlush(2)), arm the try, write `frame` and wait
    // up to `replyMs` for SignalReply; then the hooks' test judges the reply. Nothing the
    // line received before the try's frame went out reaches OnRecvData while the try awaits
    // its reply (it answers an earlier frame, however late it is handed on). Once a reply
    // asks to keep waiting, the tries left write nothing and only wait (the rest of this
    // one's wait first). 1 when a reply was accepted; 0 when refused, when every try went
    // unanswered or was turned down for another, when the port closed or the stop was set,
    // or at once when a write fails (no further try). `result` (when given) tells which,
    // and the tries begun.
    //
    // Without a frame (null or `length` below 1) the request only listens: the first try
    // arms (no flush, nothing written) and every try waits, as for a device that talks on its
    // own.
    int Request(const char *frame, int length, int tries, uint32_t replyMs, uint32_t pauseMs,
                const TryHooks &hooks = {}, RequestResult *result = nullptr);
    // The same with only a reply test.
    int Request(const char *frame, int length, int tries, uint32_t replyMs, uint32_t pauseMs,
                const ReplyTest &test)
    {
        return Request(frame, length, tries, replyMs, pauseMs, TryHooks{{}, test});
    }

    // The open-or-share rule of the devices on one line: this object when its port is open;
    // else, when another object holds the port number open, what `judge` says of it; else
    // this object once its port opens, when `openDue` (none: always) allows a try now; else
    // null. Held (this object too).
    std::shared_ptr<CSerialIO>
    OpenOrShare(const std::function<ShareVerdict(CSerialIO &holder)> &judge,
                const std::function<bool()> &openDue = {});
    // The rule for a protocol class `Own` (this object's own): an open object of that class
    // on the line is shared, one of another protocol refuses the line.
    template <class Own> std::shared_ptr<Own> OpenOrShare(const std::function<bool()> &openDue = {})
    {
        return std::dynamic_pointer_cast<Own>(OpenOrShare(
            [](CSerialIO &holder) {
                return dynamic_cast<Own *>(&holder) ? ShareVerdict::Share : ShareVerdict::Refuse;
            },
            openDue));
    }

    // The open protocol object on port number `port` to share, newest first, held; null
    // when none.
    static std::shared_ptr<CSerialIO> GetByActivePort(int port);

protected:
    // OnRecvData tells a waiting Request that a reply is in the buffer.
    void SignalReply() { m_hReplyEvent.Set(); }
    // Runs `use(buffer)` under the receive lock, the one the arm hooks run under: what it
    // returns. OnRecvData gathers received bytes there (or feeds its own decoder), the request
    // side reads and consumes them there.
    template <class Use> auto WithBuffer(Use use)
    {
        std::lock_guard<CDataLock> lk(m_RecvLock);
        return use(m_Buffer);
    }
    // Runs `use` alone on the line: no request of this object comes between the requests and
    // the bookkeeping it makes. What it returns.
    template <class Use> auto Alone(Use use)
    {
        std::lock_guard<CDataLock> lk(m_RequestLock);
        return use();
    }
    // The same, unless a request or another Alone is in progress on another thread: then
    // nothing runs and `busy` is set.
    template <class Use> auto AloneUnlessBusy(Use use, bool &busy) -> decltype(use())
    {
        std::unique_lock<CDataLock> lk(m_RequestLock, std::try_to_lock);
        busy = !lk.owns_lock();
        if (busy) return {};
        return use();
    }
    // What a destruction does first, in the destructor of the most derived protocol class:
    // no lookup finds the object any more and its port does not open again; the port closes
    // (which ends the requests of the devices that hold it), then it waits until no other
    // thread holds it.
    void Retire();

private:
    COM_SETTING m_Setting;      // under m_PortLock; set through SetLine and SetPortNumber
    iRtc *m_pPortRtc = nullptr; // the port kind to open; null: every kind
    plat::Event m_hReplyEvent;  // auto-reset; signalled through SignalReply
    CBuffer m_Buffer;
    CDataLock m_RecvLock;    // guards m_Buffer between OnRecvData and the request side
    CDataLock m_RequestLock; // one request and its reply at a time

    // The port object's operation under the port lock: its result, a default value while no
    // port object is held or when it throws.
    template <class Operation> auto Forward(Operation operation);
    // The port's receiver: lets go of the bytes received before an awaited frame went out,
    // counts the delivery, then OnRecvData with the rest.
    int Deliver(int port, pointer_t &data, uint64_t place);
    // Where the received bytes stand in the line's stream now (see CSerialDevA::ReceivedCount).
    uint64_t ReceivedMark();
    // The place from which received bytes may answer: kAnyPlace while no request awaits a
    // reply, kNoPlace while a try is armed and its frame not yet written.
    void AnswerFrom(uint64_t place);
    static constexpr uint64_t kAnyPlace = 0;
    static constexpr uint64_t kNoPlace = UINT64_MAX;
    // Takes the port object and closes and releases it outside the port lock.
    void ReleasePort();

    mutable CDataLock m_PortLock;
    CSerialDevA *m_pPort = nullptr; // owned
    bool m_bRetired = false;        // under m_PortLock
    // Blocks delivered to OnRecvData so far: a request takes for its reply only a signal
    // that follows a delivery counted after its try was armed.
    std::atomic<uint64_t> m_nDeliveries{0};
    // Under m_RecvLock: bytes at a place in the line's stream below it are let go (AnswerFrom).
    uint64_t m_nAnswerFrom = kAnyPlace;
};
