#pragma once

#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>

// The process-wide socket layer: wraps the POSIX socket calls, turns their
// errors into the numbered socket error texts and resolves host names. One
// instance exists while at least one network object is alive; the usage
// count and the instance are guarded by one lock.
class TIdStack {
public:
    // Registers one more user, creating the instance for the first.
    static void IncUsage();
    // Drops one user, freeing the instance with the last.
    static void DecUsage();
    // The instance, or nullptr while no network object exists.
    [[nodiscard]] static TIdStack* Instance();
    [[nodiscard]] static int UsageCount();

    // The error number of the last failed socket call on this thread, in the
    // numbering of the socket error texts.
    [[nodiscard]] static int WSGetLastError();
    static void SetLastError(int error);

    // Maps a POSIX errno value onto the socket error numbering. A value with
    // no counterpart gives kUnmappedErrorBase + errno, which has no text.
    [[nodiscard]] static int TranslateErrno(int err);
    // The text of a socket error number; empty for numbers outside the table.
    [[nodiscard]] static std::string WSTranslateSocketErrorMsg(int error);
    // "Socket Error # %d\r\n%s".
    [[nodiscard]] static std::string SocketErrorMessage(int error);
    // Raises EIdSocketError for `error`.
    [[noreturn]] static void RaiseSocketError(int error);
    // Returns `result` unless it is -1; then stores the error, and returns it
    // when it is one of `tolerated`, otherwise raises EIdSocketError.
    static int CheckForSocketError(int result, std::initializer_list<int> tolerated = {});

    // True when `text` split at its first three dots gives four decimal
    // numbers from 0 to 255 (the fourth piece being all the rest).
    [[nodiscard]] static bool IsIP(std::string_view text);
    // The loopback name in any case gives "127.0.0.1", a dotted address is
    // kept, anything else is looked up (IPv4, first address). A failed
    // lookup raises the socket error 11001 "Host not found.".
    [[nodiscard]] static std::string ResolveHost(const std::string& host);

    // The optional hook that keeps a user interface alive: called at least
    // every kIdleInterval milliseconds while a wait for data or a connect
    // blocks. Empty by default; process-wide, set from the UI thread.
    static void SetIdleHook(std::function<void()> hook);
    [[nodiscard]] static bool HasIdleHook();
    static void CallIdleHook();

    // Waits until `fd` reports one of `events` (poll flags) or `msec`
    // milliseconds have passed (-1: no limit), calling the idle hook at
    // least every kIdleInterval milliseconds. Returns true when ready.
    [[nodiscard]] static bool WaitFor(int fd, short events, int msec);

    static constexpr int kUnmappedErrorBase = 20000;
    static constexpr int kHostNotFound = 11001;
    static constexpr int kIdleInterval = 50;

private:
    TIdStack() = default;
};

// Holds one usage of the socket layer for as long as it lives.
class TIdStackUsage {
public:
    TIdStackUsage() { TIdStack::IncUsage(); }
    ~TIdStackUsage() { TIdStack::DecUsage(); }
    TIdStackUsage(const TIdStackUsage&) { TIdStack::IncUsage(); }
    TIdStackUsage& operator=(const TIdStackUsage&) = default;
};
