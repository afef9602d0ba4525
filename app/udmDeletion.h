#pragma once

#include "net/IdException.h"

#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class TCommandPump;
class TMessageHeader;
class TPOP3;

// A number no longer names the message that the check run listed under it:
// another program changed the mailbox meanwhile.
class EMailboxChanged : public EIdException {
public:
    EMailboxChanged()
        : EIdException("The mailbox has changed since it was checked. Nothing more was deleted; "
                       "the list is read again.") {}

protected:
    explicit EMailboxChanged(const std::string& message) : EIdException(message) {}
};

// The server answered "-ERR" when asked which message a number names, so
// nothing tells that the number still names the listed message; the mailbox
// may or may not have changed, and the list is read again all the same.
class EConfirmationRefused : public EMailboxChanged {
public:
    explicit EConfirmationRefused(std::string_view reply)
        : EMailboxChanged("The server refused to confirm which message it holds under that number (" +
                          std::string(reply) + "). Nothing more was deleted; the list is read again.") {}
};

// Without unique ids a message is known by its header and its size; one
// whose header could not be read whole (or is empty), or that shares both
// with another message of the check run, cannot be told apart from others,
// so it is not deleted.
class EMessageNotIdentified : public EIdException {
public:
    enum class Reason { HeaderNotWhole, SameAsAnother };
    explicit EMessageNotIdentified(Reason reason)
        : EIdException(reason == Reason::HeaderNotWhole
                           ? "This server lists no unique ids and the message's header could not be read "
                             "whole, so it cannot be told apart from other messages. It was not deleted; "
                             "nothing more was deleted."
                           : "This server lists no unique ids and another message has the same header and "
                             "size, so it cannot be told apart from that one. It was not deleted; nothing "
                             "more was deleted.") {}
};

// "Remove Message(s)" in plain steps, for the messages the user confirmed:
// for each record, open its client's connection when it is closed, confirm
// that its number still names the message the check run listed ("UIDL n",
// or without unique ids "TOP n 0" and "LIST n"), then "DELE n"; at the end
// "QUIT" on every connection used, which makes the deletions take effect.
class TDeletion {
public:
    explicit TDeletion(TCommandPump& pump) : pump_(pump) {}

    // Deletes the messages of the records with these serials, in this
    // order; a record no longer held is skipped. A failure ends the
    // deletions at its record and is kept (Failure); the connections still
    // end with "QUIT", so that the deletions accepted before it take
    // effect. When the user stops it (ERunAborted), the connections close
    // without "QUIT", the server keeps every message, and the stop passes
    // on.
    void Run(const std::vector<std::uint64_t>& serials);

    // Deletes the message of one record on its client's connection; true
    // when the server accepted it (a record sends "DELE" at most once). The
    // connection stays open. Raises EMailboxChanged when the number names
    // another message now (nothing is sent for it), EConfirmationRefused
    // when the server will not say, EMessageNotIdentified when the message
    // cannot be singled out, EIdProtocolReplyError when the server refuses
    // the deletion, and the connection's failures.
    bool DeleteRecord(std::uint64_t serial);

    // Whether the list must be read again: a message was deleted, the
    // mailbox changed, or a "DELE" may have taken effect unseen.
    [[nodiscard]] bool NeedsRefill() const { return refill_; }
    [[nodiscard]] const std::exception_ptr& Failure() const { return failure_; }

private:
    enum class Identity { Same, Other, Refused, NotWhole, Twin };

    bool deleteOnServer(TMessageHeader& record);
    // Whether Number names this message on the open connection: by "UIDL n"
    // when the check run listed a unique id, else by the header "TOP n 0"
    // compared byte for byte and then the size "LIST n". Refused: the server
    // answered "-ERR"; NotWhole: the kept header was cut or is empty; Twin:
    // another message of the run has the same header and size.
    [[nodiscard]] Identity identify(TMessageHeader& record);
    [[nodiscard]] Identity compareHeader(TMessageHeader& record);
    [[nodiscard]] static bool hasTwinInRun(const TMessageHeader& record);
    void endConnections();
    // Closes the connections without "QUIT"; the records forget their marks.
    void abandonAll();

    TCommandPump& pump_;
    std::vector<std::shared_ptr<TPOP3>> used_;
    std::exception_ptr failure_;
    bool refill_ = false;
};
