#pragma once

#include "message/IdEMailAddress.h"
#include "message/IdGlobal.h"
#include "message/IdHeaderList.h"
#include "net/IdException.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
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
    // Only the concrete kinds are created; a bare part raises
    // EIdCanNotCreateMessagePart from the factory below.
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

    [[nodiscard]] std::string ContentDisposition() const;
    void SetContentDisposition(std::string_view value);

    // Copies the file at StoredPath to destination; never overwrites.
    // Raises EIdException "Error saving attachment." on any failure.
    bool SaveCopyTo(const std::string& destination) const;

    std::string StoredPath;
    std::string AttachedFileName;
};

// The parts of one message, owned, in arrival order.
class TIdMessageParts {
public:
    [[nodiscard]] int Count() const { return static_cast<int>(FItems.size()); }
    [[nodiscard]] TIdMessagePart& Items(int index) const;
    [[nodiscard]] TIdMessagePart& operator[](int index) const { return Items(index); }
    template <class T>
    T& Add() {
        auto item = std::make_unique<T>();
        T& ref = *item;
        FItems.push_back(std::move(item));
        return ref;
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
    [[nodiscard]] std::string CurrentBoundary() const;
    void PushBoundary(std::string_view boundary);
    void PopBoundary();
    void ClearBoundaries() { FStack.clear(); }
    [[nodiscard]] int Count() const { return static_cast<int>(FStack.size()); }

private:
    std::vector<std::string> FStack;  // back() is the top
};

// The boundary parameter of a content type, upper-cased.
[[nodiscard]] std::string BoundaryFromContentType(std::string_view contentType);
// "urgent" -> mpHigh, "non-priority" -> mpLow, else the leading number - 1.
[[nodiscard]] TIdMessagePriority ParsePriority(std::string_view text);

class TIdMessage {
public:
    TIdMessage();
    TIdMessage(const TIdMessage&) = delete;
    TIdMessage& operator=(const TIdMessage&) = delete;

    void ResetMessage();
    void ResetHeaderFields();
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
