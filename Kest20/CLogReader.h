// Log readers. CLogReader holds one subscription of the log core for an object: each message
// of its type (mode 1, on the reporting thread) or of its pattern (mode 2, on the log thread)
// goes to OnRecvLog, which by default calls the reader's handler on its handler object.
// CLogMsg takes an exact type and hands the messages to its handler on a queue thread of its
// own, one at a time, in arrival order.
#pragma once

#include "Kest20/Kest20Api.h"
#include "Kest20/KestLog.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <type_traits>

class CMsgThrd;

class KEST20_API CLogReader {
public:
    // A member function of the handler object, bound to that object.
    using tagOnRecvLog = std::function<int(const char *type, const char *text, const char *info)>;

    // Subscribes with the type (or pattern) and mode; no handler. A derived reader that
    // overrides OnRecvLog is served from here on, also while its own members are still being
    // made: one whose OnRecvLog uses its members takes the SubscribeLater form instead.
    CLogReader(const char *type, int32_t mode);
    // Subscribes with `handler` called on `object`; with either null no handler is called.
    template <class T>
    CLogReader(int (T::*handler)(const char *, const char *, const char *),
               std::type_identity_t<T> *object, const char *type, int32_t mode)
        : CLogReader(Bind(handler, object))
    {
        Modify(type, mode);
    }

    // The handler's result; 0 without a handler. Derived readers override it.
    virtual int OnRecvLog(const char *type, const char *text, const char *info);
    // Ends the subscription.
    virtual ~CLogReader();
    CLogReader(const CLogReader &) = delete;
    CLogReader &operator=(const CLogReader &) = delete;

    // Ends the current subscription and subscribes again with the type and mode: 1.
    int Modify(const char *type, int32_t mode);
    // Subscribes with the type and mode given to the constructor (or the last Modify): 1.
    int Subscribe();

    // The unit function of every reader: `reader`'s OnRecvLog; 0 for a null reader.
    static int static_On_ReceiveLog(void *reader, const char *type, const char *text,
                                    const char *info);

protected:
    // Takes the type and mode without subscribing: the derived reader calls Subscribe at the
    // end of its constructor, once it can take messages, and Unsubscribe first in its
    // destructor, so that no message reaches an OnRecvLog whose object is not whole.
    struct SubscribeLater {};
    CLogReader(const char *type, int32_t mode, SubscribeLater);
    // Not subscribed yet: a derived reader subscribes (Modify) once it can take messages.
    explicit CLogReader(tagOnRecvLog handler);
    // Ends the subscription, waiting for a delivery in progress on another thread. A derived
    // reader whose OnRecvLog uses its own members calls it first in its destructor.
    void Unsubscribe();
    const tagOnRecvLog &GetHandler() const { return m_handler; }

    template <class T>
    static tagOnRecvLog Bind(int (T::*handler)(const char *, const char *, const char *), T *object)
    {
        if (!handler || !object) return {};
        return [handler, object](const char *type, const char *text, const char *info) {
            return (object->*handler)(type, text, info);
        };
    }

private:
    int m_nHandle = -1;
    tagOnRecvLog m_handler;
    std::string m_strType;
    int32_t m_nMode = LOG_MODE_EXACT;
};

class KEST20_API CLogMsg : public CLogReader {
public:
    explicit CLogMsg(const char *type);
    template <class T>
    CLogMsg(int (T::*handler)(const char *, const char *, const char *),
            std::type_identity_t<T> *object, const char *type)
        : CLogMsg(Bind(handler, object), type)
    {
    }
    // Ends the subscription, then stops the queue thread and drops what is queued.
    ~CLogMsg() override;
    CLogMsg(const CLogMsg &) = delete;
    CLogMsg &operator=(const CLogMsg &) = delete;

    // Queues copies of the texts for the queue thread: 1 at once.
    int OnRecvLog(const char *type, const char *text, const char *info) override;
    // Drops every queued message and stops the queue thread: 1. A later message starts it
    // again.
    int Stop();

private:
    // Starts the queue, then subscribes to the exact type.
    CLogMsg(tagOnRecvLog handler, const char *type);

    std::unique_ptr<CMsgThrd> m_pQueue;
};
