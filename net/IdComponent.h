#pragma once

#include "net/IdStack.h"

#include <cstdint>
#include <functional>
#include <string>

// The common root of the network objects.
class TIdBaseComponent {
public:
    TIdBaseComponent() = default;
    virtual ~TIdBaseComponent() = default;
    TIdBaseComponent(const TIdBaseComponent&) = delete;
    TIdBaseComponent& operator=(const TIdBaseComponent&) = delete;
};

enum class TIdStatus { hsResolving, hsConnecting, hsConnected, hsDisconnecting, hsDisconnected, hsText };

enum class TWorkMode { wmRead, wmWrite };
inline constexpr TWorkMode wmRead = TWorkMode::wmRead;
inline constexpr TWorkMode wmWrite = TWorkMode::wmWrite;

class TIdComponent;

using TIdStatusEvent = std::function<void(TIdComponent& ASender, TIdStatus AStatus, const std::string& AStatusText)>;
using TWorkBeginEvent = std::function<void(TIdComponent& ASender, TWorkMode AWorkMode, std::int64_t AWorkCountMax)>;
using TWorkEvent = std::function<void(TIdComponent& ASender, TWorkMode AWorkMode, std::int64_t AWorkCount)>;
using TWorkEndEvent = std::function<void(TIdComponent& ASender, TWorkMode AWorkMode)>;
using TNotifyEvent = std::function<void(TIdComponent& ASender)>;

// A network object: holds a usage of the socket layer for its lifetime and
// carries the status event and the nested work spans of both directions.
class TIdComponent : public TIdBaseComponent {
public:
    TIdComponent() = default;

    // Opens a work span; only the outermost one stores the maximum, resets
    // the running count and fires OnWorkBegin.
    void BeginWork(TWorkMode mode, std::int64_t max = 0);
    // Adds `count` to the running count of an open span and fires OnWork
    // with the new total; ignored outside a span.
    void DoWork(TWorkMode mode, std::int64_t count);
    // Closes a work span; the outermost one fires OnWorkEnd.
    void EndWork(TWorkMode mode);

    // Fires OnStatus with the status's fixed text, `argument` filling its %s.
    void DoStatus(TIdStatus status, const std::string& argument = {});
    // The fixed text of a status.
    [[nodiscard]] static std::string StatusText(TIdStatus status, const std::string& argument);

    TIdStatusEvent OnStatus;
    TWorkBeginEvent OnWorkBegin;
    TWorkEvent OnWork;
    TWorkEndEvent OnWorkEnd;

private:
    struct WorkSpan {
        int level = 0;
        std::int64_t max = 0;
        std::int64_t count = 0;
    };
    WorkSpan& span(TWorkMode mode) { return mode == wmRead ? read_ : write_; }

    TIdStackUsage stack_;
    WorkSpan read_;
    WorkSpan write_;
};
