#include "app/udmPOP3.h"

#include "message/IdCoderHeader.h"
#include "message/IdEMailAddress.h"
#include "message/IdGlobal.h"
#include "message/IdMessageClient.h"
#include "net/IdExceptions.h"
#include "net/IdStack.h"
#include "ui/Application.h"

#include <QCoreApplication>
#include <QDate>
#include <QDateTime>
#include <QLocale>
#include <QTime>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <functional>
#include <optional>
#include <unordered_map>

// ---------------------------------------------------------------------------
// TPOP3

namespace {

int& defaultReadTimeout() {
    static int timeout = TPOP3::kReadTimeout;
    return timeout;
}

}  // namespace

TPOP3::TPOP3() {
    RecvBufferSize = 32768;
    SendBufferSize = 32768;
    APOP = false;
    ASCIIFilter = false;
    // A server that stops answering ends the command instead of holding the
    // window in a wait that only closing the program could end. The limit
    // counts silence: a slow transfer that keeps sending never trips it.
    ReadTimeout = defaultReadTimeout();
    LongHeaderLines = TIdLongHeaderLines::Cut;
}

void TPOP3::SetDefaultReadTimeout(int milliseconds) {
    defaultReadTimeout() = milliseconds > 0 ? milliseconds : kReadTimeout;
}

std::shared_ptr<TPOP3> TPOP3::CreateClient(const TPOP3Rec& rec, QObject* notifyWindow) {
    auto client = std::make_shared<TPOP3>();
    client->Host = rec.Host;
    client->Port = rec.Port;
    client->Username = rec.UserName;
    client->Password = rec.Password;
    client->FNotifyWindow = notifyWindow;
    TPOP3* self = client.get();
    client->OnWork = [self](TIdComponent& sender, TWorkMode mode, std::int64_t count) {
        self->POP3Notify(sender, mode, count);
    };
    return client;
}

namespace {

// A progress notification that clears its client's pending mark when it is
// gone, delivered or dropped; it may outlive the client.
class TPOP3ProgressEvent : public ui::ProgressEvent {
public:
    TPOP3ProgressEvent(long long count, std::shared_ptr<bool> pending)
        : ui::ProgressEvent(1, count), FPending(std::move(pending)) {}
    ~TPOP3ProgressEvent() override { *FPending = false; }
    TPOP3ProgressEvent(const TPOP3ProgressEvent&) = delete;
    TPOP3ProgressEvent& operator=(const TPOP3ProgressEvent&) = delete;

private:
    std::shared_ptr<bool> FPending;
};

}  // namespace

void TPOP3::POP3Notify(TIdComponent&, TWorkMode, std::int64_t AWorkCount) {
    if (FNotifyWindow && !*FNotifyPending) {
        *FNotifyPending = true;
        QCoreApplication::postEvent(FNotifyWindow, new TPOP3ProgressEvent(AWorkCount, FNotifyPending));
    }
    // The window's idle hook pumps at a bounded rate and can end a run that
    // the user closed the window on; without a hook, pump at once.
    if (TIdStack::HasIdleHook())
        TIdStack::CallIdleHook();
    else
        ui::processPendingEvents();
}

int TPOP3::ReadResponse(const std::vector<int>& allowed) {
    const int code = TIdPOP3::ReadResponse(allowed);
    ++FRepliesAccepted;
    return code;
}

namespace {

// Whether the bytes hold the end of a multi-line reply whose status line has
// been read: its "." line, at their start or after a line end.
bool holdsReplyEnd(std::string_view bytes) {
    // The reply's end is nearly always the last thing received: looking
    // there first spares a scan of the whole header before "LIST" goes out.
    if (bytes.ends_with("\n.\r\n")) return true;
    return bytes.starts_with(".\r\n") || bytes.starts_with(".\n") || bytes.find("\n.\r\n") != bytes.npos ||
           bytes.find("\n.\n") != bytes.npos;
}

}  // namespace

std::size_t TPOP3::BufferedPositiveStatus() {
    // Waits as ReadLine would, with the same failures, but only for a line
    // as short as a status line should be: anything longer, or no line end
    // at all, is left to ReadLine and its limits, so the wait never holds
    // more than a few hundred bytes whatever MaxLineLength is.
    constexpr std::size_t kStatusPeekLimit = 512;
    std::size_t lf;
    while ((lf = InputBuffer().View().find('\n')) == std::string_view::npos) {
        if (InputBuffer().Size() > kStatusPeekLimit) return 0;
        CheckDisconnect(true, true);
        if (FillInput(true) == 0) return 0;
    }
    if (lf > kStatusPeekLimit) return 0;
    std::string_view line = InputBuffer().View().substr(0, lf);
    if (line.ends_with('\r')) line.remove_suffix(1);
    // Only the plain form: anything else (blank lines first, blanks before
    // it, another case) is read the usual way.
    return line == "+OK" || line.starts_with("+OK ") ? lf + 1 : 0;
}

void TPOP3::SendThenReadPositiveReply(const std::string& next) {
    FSentAhead.clear();
    WriteLine(next);
    FSentAhead = next;
    ReadResponse(std::vector<int>{1});
}

void TPOP3::ReceiveHeader(int number, TIdMessage& msg, const std::string& next) {
    const std::string top = "TOP " + std::to_string(number) + " 0";
    // The server has finished this reply when its end is in the buffer, so
    // the next exchange can begin while the lines are taken apart; when the
    // reply was awaited already and its status is plainly positive, even
    // before that status line is read.
    std::size_t status = 0;
    if (!next.empty() && FSentAhead == top && (status = BufferedPositiveStatus()) != 0 &&
        holdsReplyEnd(InputBuffer().View().substr(status))) {
        SendThenReadPositiveReply(next);
    } else {
        SendCommand(top, std::vector<int>{1});
        if (!next.empty() && holdsReplyEnd(InputBuffer().View())) SendAhead(next);
    }
    ReceiveHeaderLines(msg, ".", false);
}

int TPOP3::ReceiveSize(const std::string& list, const std::string& next) {
    // The exchange is over once the status line is in: the next one begins
    // before that line is read, when it is plainly positive, and otherwise
    // as soon as it has been accepted; the size is taken from it after.
    if (!next.empty() && FSentAhead == list && BufferedPositiveStatus() != 0) {
        SendThenReadPositiveReply(next);
    } else {
        SendCommand(list, std::vector<int>{1});
        if (!next.empty()) SendAhead(next);
    }
    return ListedSize(LastReply());
}

void TPOP3::SendAhead(const std::string& command) {
    WriteLine(command);
    FSentAhead = command;
}

int TPOP3::SendCommand(std::string_view text, const std::vector<int>& allowed) {
    if (!FSentAhead.empty()) {
        const bool same = FSentAhead == text;
        FSentAhead.clear();
        if (same) return ReadResponse(allowed);
        GetSingleLineResponse();
    }
    return TIdPOP3::SendCommand(text, allowed);
}

void TPOP3::SkipRestOfReply() {
    // Cut pieces instead of raising: a piece is never taken for the "."
    // line, and the piece after it continues the same line.
    const TIdMaxLineAction saved = MaxLineAction;
    MaxLineAction = maSplit;
    try {
        std::int64_t dropped = 0;
        bool lineStart = true;
        for (;;) {
            const std::string line = ReadLine();
            const bool piece = ReadLnSplit();
            if (lineStart && !piece && line == ".") break;
            lineStart = !piece;
            dropped += static_cast<std::int64_t>(line.size()) + 2;
            if (MaxReadLinesSize > 0 && dropped > MaxReadLinesSize)
                throw EIdReadLinesLimitExceeded(MaxReadLinesSize);
        }
    } catch (...) {
        MaxLineAction = saved;
        throw;
    }
    MaxLineAction = saved;
}

void TPOP3::Abandon() { TIdTCPClient::Disconnect(); }

void TPOP3::Connect(int timeout) {
    FMarks = 0;
    FMarkUnsure = false;
    TIdPOP3::Connect(timeout);
}

bool TPOP3::MarkDeleted(int messageNumber) {
    try {
        DeleteMessage(messageNumber);
    } catch (const EIdProtocolReplyError&) {
        throw;  // "-ERR": the server kept the message.
    } catch (...) {
        // The "DELE" went out and no plain answer came back: the server may
        // have marked the message, and "QUIT" would commit it.
        FMarkUnsure = true;
        throw;
    }
    ++FMarks;
    return true;
}

void TPOP3::Quit() {
    // The answer is awaited: the server removes the marked messages before
    // it answers, so a new connection opened afterwards (the refill) finds
    // them gone and the mailbox unlocked.
    try {
        WriteLine("QUIT");
        ReadResponse({1});
    } catch (...) {
        FMarks = 0;
        FMarkUnsure = false;
        Abandon();
        throw;
    }
    FMarks = 0;
    FMarkUnsure = false;
    Abandon();
}

// ---------------------------------------------------------------------------
// TMessageHeader

namespace {

std::uint64_t nextSerial() {
    static std::atomic<std::uint64_t> serial{0};
    return ++serial;
}

}  // namespace

TMessageHeader::TMessageHeader(std::shared_ptr<TPOP3> client, int number, const std::string& next)
    : Client(std::move(client)), Msg(std::make_unique<TIdMessage>()), Number(number),
      Serial(nextSerial()) {
    const std::string list = "LIST " + std::to_string(Number);
    // A header line over the limit is cut there and the rest of the header
    // read as usual (the client cuts header lines), so the message is still
    // judged on its subject and sender; too long a status line is the
    // server's fault and ends the run.
    Client->ReceiveHeader(Number, *Msg, list);
    if (Client->HeaderWasCut()) {
        HeaderCut = true;
        HeaderError = EIdReadLnMaxLineLengthExceeded().what();
    }
    // The exchanges stay TOP n 0, then LIST n, one after the other; but
    // "LIST n" goes out before the header is processed (once the reply has
    // arrived whole, before even its lines are stored), so that work is
    // done while the server answers instead of after it.
    if (Client->SentAhead() != list) Client->SendAhead(list);
    {
        // The whole reply up to "." has been read, so the connection is in
        // step whatever the header holds; only the fields need a second look.
        try {
            TIdMessageClient::ReadHeaderFields(*Msg);
        } catch (const EIdEmailParseError& error) {
            HeaderError = error.what();
            ReadFieldsLeniently();
        } catch (const EConvertError& error) {
            HeaderError = error.what();
            ReadFieldsLeniently();
        } catch (const EIdFailedToRetreiveTimeZoneInfo& error) {
            HeaderError = error.what();
            ReadFieldsLeniently();
        }
    }
    Msg->Tag = Client->ReceiveSize(list, next);
}

namespace {

// Lets pending events run while a command waits, through the window's idle
// hook when one is set.
void pumpEvents() {
    if (TIdStack::HasIdleHook())
        TIdStack::CallIdleHook();
    else
        ui::processPendingEvents();
}

// The failures of a connection that the server has closed.
bool connectionLost(const EIdException& error) {
    return dynamic_cast<const EIdConnClosedGracefully*>(&error) || dynamic_cast<const EIdSocketError*>(&error) ||
           dynamic_cast<const EIdNotConnected*>(&error) || dynamic_cast<const EIdClosedSocket*>(&error);
}

}  // namespace

bool TMessageHeader::DeleteOnServer() {
    pumpEvents();
    if (Deleted) return true;
    // A connection left open by an earlier command may have been logged out
    // by the server while the program sat idle. Such a connection is opened
    // again once, as long as nothing was marked on it: the confirmation
    // that comes first only reads, so repeating it on a new connection is
    // safe, and marks of a lost connection are gone anyway.
    const bool wasOpen = Client->IsConnected();
    const bool mayReopen = wasOpen && Client->MarksOnConnection() == 0;
    if (!wasOpen) Client->Connect(-1);
    Identity identity;
    try {
        identity = IdentifyOnServer();
    } catch (const EIdException& error) {
        if (!mayReopen || !connectionLost(error)) throw;
        identity = Identity::Refused;
    }
    // A server logging a client out may answer its next command "-ERR"
    // before it closes.
    if (identity == Identity::Refused && mayReopen) {
        Client->Abandon();
        Client->Connect(-1);
        identity = IdentifyOnServer();
    }
    switch (identity) {
    case Identity::Same: break;
    case Identity::Refused: throw EConfirmationRefused(Trim(Client->LastReply().FormattedText()));
    case Identity::NotWhole: throw EMessageNotIdentified(EMessageNotIdentified::Reason::HeaderNotWhole);
    case Identity::Twin: throw EMessageNotIdentified(EMessageNotIdentified::Reason::SameAsAnother);
    case Identity::Other: throw EMailboxChanged();
    }
    Deleted = Client->MarkDeleted(Number);
    return Deleted;
}

TMessageHeader::Identity TMessageHeader::IdentifyOnServer() {
    if (UniqueId.empty()) return CompareHeaderOnServer();
    std::vector<std::string> reply;
    if (!Client->ListUniqueIds(reply, Number)) return Identity::Refused;
    const TUniqueIds ids = ParseUniqueIdListing(reply);
    const std::string* id = FindUniqueId(ids, Number);
    return id && *id == UniqueId ? Identity::Same : Identity::Other;
}

// Whether another message of the same check run has exactly this header and
// size: the server could hand either one back for this number.
bool TMessageHeader::HasTwinInRun() const {
    const std::string text = Msg->HeaderLines.Text();
    for (const auto& other : MessageHeaders()) {
        if (other.get() == this || other->Client != Client || other->Msg->Tag != Msg->Tag) continue;
        if (other->Msg->HeaderLines.Text() == text) return true;
    }
    return false;
}

// Without unique ids the header as received and the size stand for the
// message: its trace fields ("Received", dates, ids) differ from one
// delivery to the next, and two copies of one message differ in size when
// their bodies do. It costs "TOP n 0" and "LIST n" per deletion.
TMessageHeader::Identity TMessageHeader::CompareHeaderOnServer() {
    if (HeaderCut || Msg->HeaderLines.Count() == 0) return Identity::NotWhole;
    if (HasTwinInRun()) return Identity::Twin;
    TIdMessage probe;
    const std::uint64_t accepted = Client->RepliesAccepted();
    try {
        Client->FetchHeader(Number, probe);
    } catch (const EIdProtocolReplyError&) {
        if (Client->RepliesAccepted() != accepted) throw;
        return Identity::Refused;
    } catch (const EIdReadLnMaxLineLengthExceeded&) {
        // A line the kept header did not have: another message.
        if (Client->RepliesAccepted() == accepted) throw;
        Client->SkipRestOfReply();
        return Identity::Other;
    } catch (const EIdEmailParseError&) {
        // Header processing failed after every line was read; the lines are
        // what counts here.
    } catch (const EConvertError&) {
    } catch (const EIdFailedToRetreiveTimeZoneInfo&) {
    }
    if (probe.HeaderLines.Text() != Msg->HeaderLines.Text()) return Identity::Other;
    const std::uint64_t listed = Client->RepliesAccepted();
    try {
        return Client->MessageSize(Number) == Msg->Tag ? Identity::Same : Identity::Other;
    } catch (const EIdProtocolReplyError&) {
        if (Client->RepliesAccepted() != listed) throw;
        return Identity::Refused;
    }
}

void TMessageHeader::ReadFieldsLeniently() {
    for (const std::string& name : ReadHeaderFieldsLeniently(*Msg)) {
        if (name == "To") RawRecipients = Msg->Recipients.Count() > 0 ? Msg->Recipients[0].Address() : "";
    }
}

TMessageHeader::~TMessageHeader() {
    try {
        if (Client && Client->IsConnected()) Client->Disconnect();
    } catch (...) {
        // The connection is gone either way; a record going away never fails.
    }
}

QString TMessageHeader::DateText() const { return FormatMessageDate(Msg->Date); }

std::string TMessageHeader::SizeText() const { return std::to_string(Msg->Tag); }

std::string TMessageHeader::SenderText() const { return Msg->From.Address(); }

std::string TMessageHeader::RecipientsText() const {
    return RawRecipients.empty() ? Msg->Recipients.AddressListText() : RawRecipients;
}

std::string TMessageHeader::SubjectText() const { return Msg->Subject; }

std::string TMessageHeader::IdText() const { return Msg->MessageId; }

std::string TMessageHeader::ViewText() const { return Msg->HeaderLines.Text(); }

// ---------------------------------------------------------------------------
// MessageHeaders

TMessageHeaders& MessageHeaders() {
    static TMessageHeaders headers;
    return headers;
}

TMessageHeader* FindHeaderById(std::string_view id) {
    for (const auto& header : MessageHeaders())
        if (header->Msg->MessageId == id) return header.get();
    return nullptr;
}

TMessageHeader* FindHeaderBySerial(std::uint64_t serial) {
    for (const auto& header : MessageHeaders())
        if (header->Serial == serial) return header.get();
    return nullptr;
}

void AbandonMessageHeaders() {
    TMessageHeaders& headers = MessageHeaders();
    for (const auto& header : headers) {
        if (header->Client) header->Client->Abandon();
    }
    headers.clear();
}

// Servers list the numbers in order, so the ids are collected in a vector
// and sorted only when a listing is out of order: a tree of 2,000 nodes
// cost more than the server's reply to the next command.
TUniqueIds ParseUniqueIdListing(const std::vector<std::string>& lines) {
    TUniqueIds ids;
    ids.reserve(lines.size());
    for (const std::string& line : lines) {
        std::string_view rest = Trim(line);
        const std::size_t blank = rest.find_first_of(" \t");
        if (blank == std::string_view::npos) continue;
        const std::string_view digits = rest.substr(0, blank);
        std::int32_t number = 0;
        const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
        if (error != std::errc() || end != digits.data() + digits.size() || number < 1) continue;
        rest = Trim(rest.substr(blank));
        const std::string_view id = rest.substr(0, rest.find_first_of(" \t"));
        if (!id.empty()) ids.emplace_back(number, std::string(id));
    }
    const auto byNumber = [](const auto& a, const auto& b) { return a.first < b.first; };
    if (!std::is_sorted(ids.begin(), ids.end(), byNumber)) std::stable_sort(ids.begin(), ids.end(), byNumber);
    // The stable order keeps the first line of a repeated number first.
    const auto sameNumber = [](const auto& a, const auto& b) { return a.first == b.first; };
    ids.erase(std::unique(ids.begin(), ids.end(), sameNumber), ids.end());
    return ids;
}

const std::string* FindUniqueId(const TUniqueIds& ids, std::int32_t number) {
    const auto id = std::lower_bound(ids.begin(), ids.end(), number,
                                     [](const auto& entry, std::int32_t n) { return entry.first < n; });
    return id != ids.end() && id->first == number ? &id->second : nullptr;
}

// ---------------------------------------------------------------------------
// Date column

namespace {

// Rewrites the letters of a locale's date or time format outside quoted
// literals: `edit` gets each run of one letter and returns its replacement.
QString rewriteFormat(const QString& format, const std::function<QString(const QString&)>& edit) {
    QString out;
    bool quoted = false;
    for (qsizetype i = 0; i < format.size();) {
        const QChar c = format[i];
        if (c == QLatin1Char('\'')) {
            quoted = !quoted;
            out += c;
            ++i;
            continue;
        }
        qsizetype j = i + 1;
        if (!quoted && c.isLetter()) {
            while (j < format.size() && format[j] == c) ++j;
            out += edit(format.mid(i, j - i));
        } else {
            out += c;
        }
        i = j;
    }
    return out;
}

// The locale's short date, every year written with four digits.
QString shortDateFormat(const QLocale& locale) {
    return rewriteFormat(locale.dateFormat(QLocale::ShortFormat), [](const QString& run) {
        return run.front() == QLatin1Char('y') ? QStringLiteral("yyyy") : run;
    });
}

// The locale's long time without its time zone: the value is local time
// already and carries no zone of its own.
QString longTimeFormat(const QLocale& locale) {
    QString format = rewriteFormat(locale.timeFormat(QLocale::LongFormat), [](const QString& run) {
        return run.front() == QLatin1Char('t') ? QStringLiteral("\x01") : run;
    });
    // Drop the zone's marker together with the blanks before it.
    for (qsizetype at = format.indexOf(QChar(1)); at >= 0; at = format.indexOf(QChar(1))) {
        qsizetype from = at;
        while (from > 0 && format[from - 1].isSpace()) --from;
        format.remove(from, at + 1 - from);
    }
    return format.trimmed();
}

}  // namespace

QString FormatMessageDate(double value) {
    const TDateTimeParts parts = DecodeDateTime(value);
    if (parts.Year == 0) return {};
    const QDate date(parts.Year, parts.Month, parts.Day);
    const QTime time(parts.Hour, parts.Minute, parts.Second);
    // The formats are worked out once per locale: a check run formats a date
    // for every row, and asking the locale for its formats costs more than
    // the formatting itself.
    // The date texts are kept by day as well: a mailbox's messages come
    // from far fewer days than there are messages.
    struct Formats {
        QLocale locale;
        QString date, time;
        std::unordered_map<qint64, QString> days;
    };
    static thread_local std::optional<Formats> cached;
    const QLocale locale;
    if (!cached || cached->locale != locale)
        cached = Formats{locale, shortDateFormat(locale), longTimeFormat(locale), {}};
    constexpr std::size_t kMaxDays = 4096;
    if (cached->days.size() >= kMaxDays) cached->days.clear();
    auto [day, added] = cached->days.try_emplace(date.toJulianDay());
    if (added) day->second = locale.toString(date, cached->date);
    QString text = day->second;
    if (time != QTime(0, 0)) text += QLatin1Char(' ') + locale.toString(time, cached->time);
    return text;
}

// ---------------------------------------------------------------------------
// Lenient header fields

namespace {

// A field whose processing raises, tested on its own as header processing
// would treat it.
struct FieldCheck {
    const char* name;
    std::function<void(const std::string&)> process;
};

const FieldCheck kFieldChecks[] = {
    {"Subject", [](const std::string& v) { (void)DecodeHeaderText(v); }},
    {"From", [](const std::string& v) { TIdEMailAddressItem().SetText(DecodeHeaderText(v)); }},
    {"To", [](const std::string& v) { TIdEMailAddressList().ParseAddressList(DecodeHeaderText(v)); }},
    {"Cc", [](const std::string& v) { TIdEMailAddressList().ParseAddressList(DecodeHeaderText(v)); }},
    {"Disposition-Notification-To", [](const std::string& v) { TIdEMailAddressItem().SetText(v); }},
    {"Return-Receipt-To", [](const std::string& v) { TIdEMailAddressItem().SetText(v); }},
    {"Reply-To", [](const std::string& v) { TIdEMailAddressList().ParseAddressList(v); }},
    {"Sender", [](const std::string& v) { TIdEMailAddressItem().SetText(v); }},
};

bool raises(const FieldCheck& check, const std::string& value) {
    try {
        check.process(value);
        return false;
    } catch (const EIdException&) {
        return true;
    }
}

// Empties the value of the first field named `name` (and drops its
// continuation lines) so that processing passes over it.
void blankField(TIdHeaderList& lines, std::string_view name) {
    const int index = lines.FieldIndex(name);
    if (index < 0) return;
    lines.Put(index, std::string(name) + ":");
    while (index + 1 < lines.Count() && !lines[index + 1].empty() &&
           (lines[index + 1].front() == ' ' || lines[index + 1].front() == '\t'))
        lines.Delete(index + 1);
}

std::string decodedOrRaw(const std::string& value) {
    try {
        return DecodeHeaderText(value);
    } catch (const EIdException&) {
        return value;
    }
}

// An address list that could not be parsed: one item holding the text.
void setRawList(TIdEMailAddressList& list, const std::string& text) {
    list.Clear();
    if (!text.empty()) list.Add("").SetAddress(text);
}

// The fields after "Date", filled when the local time zone is unknown and
// processing stopped there.
void readFieldsAfterDate(TIdMessage& msg) {
    msg.Date = 0;
    try {
        msg.Sender.SetText(msg.HeaderLines.GetFieldValue("Sender"));
    } catch (const EIdException&) {
    }
    const std::string priority = msg.HeaderLines.GetFieldValue("Priority");
    msg.Priority = ParsePriority(priority.empty() ? msg.HeaderLines.GetFieldValue("X-Priority") : priority);
    msg.BoundaryStack.PushBoundary(BoundaryFromContentType(msg.ContentType));
}

}  // namespace

std::vector<std::string> ReadHeaderFieldsLeniently(TIdMessage& msg) {
    try {
        TIdMessageClient::ReadHeaderFields(msg);
        return {};
    } catch (const EIdException&) {
    }
    // Process a copy of the lines in which the failing fields are empty,
    // then give those fields their raw text.
    const TIdHeaderList received = msg.HeaderLines;
    std::vector<const FieldCheck*> failed;
    for (const FieldCheck& check : kFieldChecks) {
        if (raises(check, received.GetFieldValue(check.name))) failed.push_back(&check);
    }
    for (const FieldCheck* check : failed) blankField(msg.HeaderLines, check->name);
    try {
        TIdMessageClient::ReadHeaderFields(msg);
    } catch (const EIdException&) {
        readFieldsAfterDate(msg);
    }
    msg.HeaderLines = received;
    for (const FieldCheck* check : failed) {
        const std::string raw = received.GetFieldValue(check->name);
        const std::string_view name = check->name;
        if (name == "Subject") {
            msg.Subject = raw;
        } else if (name == "From") {
            msg.From.SetName({});
            msg.From.SetAddress(decodedOrRaw(raw));
        } else if (name == "To") {
            setRawList(msg.Recipients, decodedOrRaw(raw));
        } else if (name == "Cc") {
            setRawList(msg.CCList, decodedOrRaw(raw));
        }
    }
    std::vector<std::string> names;
    for (const FieldCheck* check : failed) names.emplace_back(check->name);
    return names;
}
