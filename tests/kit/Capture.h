// What tests capture from the code under test: the debug output, the texts of one log type
// (or pattern), and the status calls of a task's receiver. Every capture takes its calls on
// whatever thread makes them; the waits are bounded and end on the call they wait for.
#pragma once

#include "Kest20/CLogReader.h"
#include "platform/Process.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace kit {

// The debug output while it lives; lines that come later (from given-up threads) are dropped.
class DebugCapture {
public:
    DebugCapture()
        : lines_(std::make_shared<Kept>()),
          previous_(plat::SetDebugOutputSink([lines = lines_](const char *text) {
              std::lock_guard<std::mutex> lk(lines->lock);
              lines->texts.emplace_back(text);
          }))
    {
    }
    ~DebugCapture() { plat::SetDebugOutputSink(previous_); }
    DebugCapture(const DebugCapture &) = delete;
    DebugCapture &operator=(const DebugCapture &) = delete;

    std::vector<std::string> Lines()
    {
        std::lock_guard<std::mutex> lk(lines_->lock);
        return lines_->texts;
    }
    bool Has(const std::string &text)
    {
        const auto lines = Lines();
        return std::find(lines.begin(), lines.end(), text) != lines.end();
    }

private:
    struct Kept {
        std::mutex lock;
        std::vector<std::string> texts;
    };
    std::shared_ptr<Kept> lines_; // shared with the sink, which may outlive a call in flight
    plat::DebugOutputSink previous_;
};

// Keeps every text the log core delivers for `type`: exact types on the reporting thread,
// patterns (LOG_MODE_PATTERN) on the log thread.
class LogCapture : public CLogReader {
public:
    explicit LogCapture(const char *type, int32_t mode = LOG_MODE_EXACT)
        : CLogReader(type, mode, SubscribeLater{})
    {
        Subscribe();
    }
    ~LogCapture() override { Unsubscribe(); }

    int OnRecvLog(const char *, const char *text, const char *) override
    {
        std::lock_guard<std::mutex> lk(lock_);
        lines_.emplace_back(text);
        return 1;
    }
    std::vector<std::string> Lines()
    {
        std::lock_guard<std::mutex> lk(lock_);
        return lines_;
    }
    bool Has(const std::string &line)
    {
        const auto lines = Lines();
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }
    size_t Count()
    {
        std::lock_guard<std::mutex> lk(lock_);
        return lines_.size();
    }
    void Clear()
    {
        std::lock_guard<std::mutex> lk(lock_);
        lines_.clear();
    }

private:
    std::mutex lock_;
    std::vector<std::string> lines_;
};

// One status call of a task: the task's id, the status and its parameter.
template <class Id> struct StatusCall {
    Id id;
    int32_t status;
    int32_t param;
    bool operator==(const StatusCall &) const = default;
};

// The receiver a task calls back (`Receiver`, whose tasks name themselves by `Id`), keeping
// every call: task.SetCallBack(&recorder, &Recorder::OnStatus).
template <class Receiver, class Id = int32_t> class StatusRecorder : public Receiver {
public:
    using Call = StatusCall<Id>;

    int32_t OnStatus(Id id, int32_t status, int32_t param)
    {
        {
            std::lock_guard<std::mutex> lk(lock_);
            calls_.push_back({id, status, param});
        }
        changed_.notify_all();
        return 0;
    }
    std::vector<Call> Calls()
    {
        std::lock_guard<std::mutex> lk(lock_);
        return calls_;
    }
    // Whether a call of `status` came for the task `id`.
    bool Saw(const Id &id, int32_t status)
    {
        std::lock_guard<std::mutex> lk(lock_);
        return std::any_of(calls_.begin(), calls_.end(),
                           [&](const Call &c) { return c.id == id && c.status == status; });
    }
    // Waits in real time until a call of one of `statuses` has come.
    bool WaitForAny(std::initializer_list<int32_t> statuses, uint32_t ms = 5000)
    {
        std::unique_lock<std::mutex> lk(lock_);
        return changed_.wait_for(lk, std::chrono::milliseconds(ms), [&] {
            return std::any_of(calls_.begin(), calls_.end(), [&](const Call &c) {
                return std::find(statuses.begin(), statuses.end(), c.status) != statuses.end();
            });
        });
    }

private:
    std::mutex lock_;
    std::condition_variable changed_;
    std::vector<Call> calls_;
};

} // namespace kit
