#include "app/udmMessageHeader.h"

#include "app/udmPOP3.h"
#include "ui/DateFormat.h"

#include <atomic>

namespace {

std::uint64_t nextSerial() {
    static std::atomic<std::uint64_t> serial{0};
    return ++serial;
}

}  // namespace

TMessageHeader::TMessageHeader(std::shared_ptr<TPOP3> client, int number)
    : Client(std::move(client)), Msg(std::make_unique<TIdMessage>()), Number(number), Serial(nextSerial()) {}

QString TMessageHeader::DateText() const { return ui::formatMessageDate(Msg->Date); }

std::string TMessageHeader::SizeText() const { return std::to_string(Msg->Tag); }

std::string TMessageHeader::SenderText() const { return Msg->From.Address(); }

std::string TMessageHeader::RecipientsText() const {
    return RawRecipients.empty() ? Msg->Recipients.AddressListText() : RawRecipients;
}

std::string TMessageHeader::SubjectText() const { return Msg->Subject; }

std::string TMessageHeader::IdText() const { return Msg->MessageId; }

std::string TMessageHeader::ViewText() const { return Msg->HeaderLines.Text(); }

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
