#include "net/IdComponent.h"

void TIdComponent::BeginWork(TWorkMode mode, std::int64_t max) {
    WorkSpan& s = span(mode);
    if (++s.level != 1) return;
    s.max = max;
    s.count = 0;
    if (OnWorkBegin) OnWorkBegin(*this, mode, max);
}

void TIdComponent::DoWork(TWorkMode mode, std::int64_t count) {
    WorkSpan& s = span(mode);
    if (s.level < 1) return;
    s.count += count;
    if (OnWork) OnWork(*this, mode, s.count);
}

void TIdComponent::EndWork(TWorkMode mode) {
    WorkSpan& s = span(mode);
    if (s.level == 1 && OnWorkEnd) OnWorkEnd(*this, mode);
    --s.level;
}

std::string TIdComponent::StatusText(TIdStatus status, const std::string& argument) {
    switch (status) {
    case TIdStatus::hsResolving: return "Resolving hostname " + argument + ".";
    case TIdStatus::hsConnecting: return "Connecting to " + argument + ".";
    case TIdStatus::hsConnected: return "Connected.";
    case TIdStatus::hsDisconnecting: return "Disconnecting.";
    case TIdStatus::hsDisconnected: return "Disconnected.";
    case TIdStatus::hsText: return argument;
    }
    return argument;
}

void TIdComponent::DoStatus(TIdStatus status, const std::string& argument) {
    if (OnStatus) OnStatus(*this, status, StatusText(status, argument));
}
