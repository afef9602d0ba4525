#pragma once

#include "message/IdEMailAddress.h"
#include "message/IdGlobal.h"
#include "message/IdHeaderList.h"
#include "net/IdException.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

// One Internet message in memory: the header-derived fields, the raw header
// lines, the body lines and the MIME parts. A header fetch fills only the
// header side; a whole-message fetch adds body and parts.

enum TIdMessagePriority : std::uint8_t { mpHighest = 0, mpHigh = 1, mpNormal = 2, mpLow = 3, mpLowest = 4 };
enum TIdMessageEncoding { meMIME = 0, meUU = 1 };

class EIdCanNotCreateMessagePart : public EIdException {
public:
    EIdCanNotCreateMessagePart()
        : EIdException("TIdMessagePart can not be created.  Use descendant classes. ") {}
};

// An index outside a list: "List index out of bounds (%d)".
class EListError : public EIdException {
public:
    explicit EListError(int index) : EIdException("List index out of bounds (" + std::to_string(index) + ")") {}
};

// A part of a received message. Content-Type and Content-Transfer-Encoding
// live in PartHeaders; the accessors read and write those entries.
class TIdMessagePart {
public:
    virtual ~TIdMessagePart() = default;
    TIdMessagePart(const TIdMessagePart&) = delete;
    TIdMessagePart& operator=(const TIdMessagePart&) = delete;

    [[nodiscard]] std::string ContentType() const;
    void SetContentType(std::string_view value);
    [[nodiscard]] std::string ContentTransfer() const;
    void SetContentTransfer(std::string_view value);

    TIdHeaderList PartHeaders;
    TIdHeaderList ExtraHeaders;

protected:
    // Only the concrete kinds are created; asking TIdMessageParts::Add for a
    // bare part raises EIdCanNotCreateMessagePart.
    TIdMessagePart() = default;
};

class TIdText : public TIdMessagePart {
public:
    TIdText() = default;
    std::vector<std::string> Body;
};

class TIdAttachment : public TIdMessagePart {
public:
    TIdAttachment() = default;
    // Removes the file handed over with TakeStoredFile, if any.
    ~TIdAttachment() override;

    [[nodiscard]] std::string ContentDisposition() const;
    void SetContentDisposition(std::string_view value);

    // Copies the file at StoredPath to destination, which must not exist
    // yet (it is created exclusively, so an existing file or link there is
    // never replaced); a partly written copy is removed again. Returns true;
    // raises EIdException "Error saving attachment." on any failure.
    bool SaveCopyTo(const std::string& destination) const;
    // Copies the file at StoredPath to destination, replacing a file there
    // only once the copy is whole: the copy goes to a new hidden file in the
    // same folder, renamed over the destination at the end (a link there is
    // replaced, never followed). On any failure the destination is as it
    // was, no partial file remains, and EIdException "Error saving
    // attachment." is raised.
    bool SaveCopyOver(const std::string& destination) const;

    // Makes `path` the StoredPath and the part that file's owner: the file
    // is removed when the part is freed (with its message, or when the
    // message's body is reset). Body reception hands over every temporary
    // file it makes this way; a path merely set in StoredPath is never
    // removed.
    void TakeStoredFile(std::string path);

    // The file holding the decoded content; SaveCopyTo needs it for as long
    // as the part lives.
    std::string StoredPath;
    std::string AttachedFileName;

private:
    std::string FOwnedFile;
};

// The parts of one message, owned, in arrival order.
class TIdMessageParts {
public:
    [[nodiscard]] int Count() const { return static_cast<int>(FItems.size()); }
    // Raises EListError for an index outside 0 to Count() - 1.
    [[nodiscard]] TIdMessagePart& Items(int index) const;
    [[nodiscard]] TIdMessagePart& operator[](int index) const { return Items(index); }
    // Appends a new part of kind T (TIdText or TIdAttachment); T being the
    // abstract TIdMessagePart raises EIdCanNotCreateMessagePart.
    template <class T>
    T& Add() {
        static_assert(std::is_base_of_v<TIdMessagePart, T>);
        if constexpr (std::is_same_v<T, TIdMessagePart>) {
            throw EIdCanNotCreateMessagePart();
        } else {
            auto item = std::make_unique<T>();
            T& ref = *item;
            FItems.push_back(std::move(item));
            return ref;
        }
    }
    void Clear() { FItems.clear(); }
    void RecountParts();

    int TextPartTotal = 0;
    int AttachmentTotal = 0;
    int RelatedPartTotal = 0;

private:
    std::vector<std::unique_ptr<TIdMessagePart>> FItems;
};

// The boundaries of the open multipart levels, top first.
class TIdMIMEBoundary {
public:
    // The top boundary, or "" when the stack is empty.
    [[nodiscard]] std::string CurrentBoundary() const;
    // Pushes a non-empty boundary unless it equals the top (ignoring case).
    void PushBoundary(std::string_view boundary);
    // Removes the top; raises EListError (index 0) on an empty stack.
    void PopBoundary();
    void ClearBoundaries() { FStack.clear(); }
    [[nodiscard]] int Count() const { return static_cast<int>(FStack.size()); }

private:
    std::vector<std::string> FStack;  // back() is the top
};

// The boundary parameter of a content type, upper-cased: a quoted value up to
// its closing quote, an unquoted one with the rest of the text.
[[nodiscard]] std::string BoundaryFromContentType(std::string_view contentType);
// The charset parameter of a content type, upper-cased: a quoted value up to
// its closing quote, an unquoted one up to the next ";".
[[nodiscard]] std::string CharSetFromContentType(std::string_view contentType);
// "urgent" -> mpHigh, "non-priority" -> mpLow, else the leading number - 1
// (3 when there is none), kept within mpHighest to mpLowest.
[[nodiscard]] TIdMessagePriority ParsePriority(std::string_view text);

class TIdMessage {
public:
    TIdMessage();
    TIdMessage(const TIdMessage&) = delete;
    TIdMessage& operator=(const TIdMessage&) = delete;

    // ResetHeaderFields, then ResetBody.
    void ResetMessage();
    // Clears every header-derived field, HeaderLines, ExtraHeaders and the
    // boundary stack; MessageId, Body, Parts, NoDecode and Tag stay.
    void ResetHeaderFields();
    // Frees the parts and empties Body.
    void ResetBody();

    std::vector<std::string> Body;
    TIdEMailAddressList BccList;
    std::string CharSet;
    TIdEMailAddressList CCList;
    std::string ContentType;
    std::string ContentTransferEncoding;
    std::string ContentDisposition;
    TDateTime Date = 0;
    TIdEMailAddressItem From;
    std::vector<std::string> NewsGroups;
    bool NoDecode = false;
    std::string Organization;
    TIdMessagePriority Priority = mpNormal;
    TIdEMailAddressItem ReceiptRecipient;
    TIdEMailAddressList Recipients;
    std::string References;
    TIdEMailAddressList ReplyTo;
    std::string Subject;
    TIdEMailAddressItem Sender;
    std::int32_t Tag = 0;
    TIdHeaderList HeaderLines;
    std::string MessageId;
    TIdMessageParts Parts;
    TIdMIMEBoundary BoundaryStack;
    TIdHeaderList ExtraHeaders;

    TIdMessageEncoding Encoding = meMIME;
    std::string AttachmentEncoding = "MIME";
    bool NoEncode = false;
    [[nodiscard]] bool UseNowForDate() const { return Date == 0; }
};
