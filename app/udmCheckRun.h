#pragma once

#include "app/udmAccounts.h"
#include "app/udmMessageHeader.h"
#include "app/udmSpamReason.h"
#include "message/IdCharsets.h"
#include "net/IdPOP3.h"

#include <QTreeWidgetItem>

#include <functional>
#include <memory>
#include <vector>

class QObject;
class TCommandPump;

// How a check run talks to the server and reads what it answers.
struct TCheckRunOptions {
    // Commands go out in a window of several when the server lists
    // PIPELINING.
    bool FastCheck = false;
    // How the header fields treat character sets; the records' client keeps
    // it for the commands that use it later.
    TIdCharsetDecoding Charsets = TIdCharsetDecoding::Written;
};

// "Check Messages" as plain steps, run in this order on one connection:
//
//   end the previous run's connections   QUIT on each
//   log in                               (CAPA in a fast check), USER, PASS
//   read the unique ids                  UIDL
//   read the count                       STAT
//   retire the old records and rows
//   read every header and size           TOP n 0, LIST n for n = 1 .. count
//   end                                  QUIT
//
// Every record is judged as it is read and its row built, while the server
// answers the next command; the window takes the rows in one step at the
// end. In a fast check, against a server that lists PIPELINING, the "TOP"
// and "LIST" commands go out in a window of several at a time; otherwise
// one command waits for the reply of the one before.
class TCheckRun {
public:
    // Commands kept in flight in a fast check.
    static constexpr int kPipelineDepth = TIdPOP3::kMaxPipelineDepth;

    TCheckRun(const TPOP3Rec& account, const TSpamJudge& judge, const TCheckRunOptions& options, TCommandPump& pump,
              QObject* notifyWindow);
    ~TCheckRun();
    TCheckRun(const TCheckRun&) = delete;
    TCheckRun& operator=(const TCheckRun&) = delete;

    // Takes the rows of the previous run out of the window's list once the
    // run has replaced their records; the run destroys them a few at a
    // time while it waits on the server.
    std::function<std::vector<std::unique_ptr<QTreeWidgetItem>>()> TakeOldRows;

    // Runs the steps. A failure ends the connection (QUIT, or none when the
    // user stopped the run) and passes on; MessageHeaders then holds the
    // records read before it.
    void Run();

    // Whether the previous run's records have been replaced.
    [[nodiscard]] bool RecordsReplaced() const { return recordsReplaced_; }
    // The rows of the records read, in order, and how many are ticked.
    [[nodiscard]] std::vector<std::unique_ptr<QTreeWidgetItem>> TakeRows() { return std::move(rows_); }
    [[nodiscard]] int Ticked() const { return ticked_; }

private:
    void EndPreviousConnections();
    void LogIn();
    void RetireOldRecords();
    void ReadUniqueIds();
    void ReadCount();
    void ReadHeadersAndSizes();
    void ReadMessage(int number, const std::string* uniqueId);
    void queueAhead();
    void End();

    std::shared_ptr<TPOP3> client_;
    const TSpamJudge& judge_;
    const bool fastCheck_;
    TCommandPump& pump_;
    std::vector<std::string> listing_;
    int count_ = 0;
    // The last message whose commands are in line.
    int queued_ = 0;
    static constexpr int kRowsReservedAtMost = 65536;
    bool recordsReplaced_ = false;
    std::vector<std::unique_ptr<QTreeWidgetItem>> rows_;
    int ticked_ = 0;
    // The previous run's records and rows, destroyed one by one while the
    // server answers: freeing them all at once would hold up the list fill.
    TMessageHeaders retired_;
    std::vector<std::unique_ptr<QTreeWidgetItem>> retiredRows_;
};
