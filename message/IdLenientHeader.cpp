#include "message/IdLenientHeader.h"

#include "message/IdEMailAddress.h"
#include "message/IdGlobal.h"
#include "message/IdHeaderWords.h"
#include "message/IdMessageClient.h"

#include <functional>
#include <string_view>

namespace {

// A field whose processing raises, tested on its own as header processing
// would treat it.
struct FieldCheck {
    const char* name;
    std::function<void(const std::string&, TIdCharsetDecoding)> process;
};

std::string unstructured(const std::string& v, TIdCharsetDecoding charsets) {
    return DecodeHeaderValue(v, charsets);
}

std::string addresses(const std::string& v, TIdCharsetDecoding charsets) {
    return DecodeHeaderValue(v, charsets, TIdHeaderText::Addresses);
}

const FieldCheck kFieldChecks[] = {
    {"Subject", [](const std::string& v, TIdCharsetDecoding c) { (void)unstructured(v, c); }},
    {"From", [](const std::string& v, TIdCharsetDecoding c) { TIdEMailAddressItem().SetText(addresses(v, c)); }},
    {"To", [](const std::string& v, TIdCharsetDecoding c) { TIdEMailAddressList().ParseAddressList(addresses(v, c)); }},
    {"Cc", [](const std::string& v, TIdCharsetDecoding c) { TIdEMailAddressList().ParseAddressList(addresses(v, c)); }},
    {"Disposition-Notification-To", [](const std::string& v, TIdCharsetDecoding) { TIdEMailAddressItem().SetText(v); }},
    {"Return-Receipt-To", [](const std::string& v, TIdCharsetDecoding) { TIdEMailAddressItem().SetText(v); }},
    {"Reply-To", [](const std::string& v, TIdCharsetDecoding) { TIdEMailAddressList().ParseAddressList(v); }},
    {"Sender", [](const std::string& v, TIdCharsetDecoding) { TIdEMailAddressItem().SetText(v); }},
};

bool raises(const FieldCheck& check, const std::string& value, TIdCharsetDecoding charsets) {
    try {
        check.process(value, charsets);
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

std::string decodedOrRaw(const std::string& value, TIdCharsetDecoding charsets) {
    try {
        return unstructured(value, charsets);
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

TIdLenientFields ReadHeaderFieldsLeniently(TIdMessage& msg, TIdCharsetDecoding charsets) {
    TIdLenientFields result;
    try {
        TIdMessageClient::ReadHeaderFields(msg, charsets);
        return result;
    } catch (const EIdException& error) {
        result.Error = error.Message();
    }
    // Process a copy of the lines in which the failing fields are empty,
    // then give those fields their raw text.
    const TIdHeaderList received = msg.HeaderLines;
    std::vector<const FieldCheck*> failed;
    for (const FieldCheck& check : kFieldChecks) {
        if (raises(check, received.GetFieldValue(check.name), charsets)) failed.push_back(&check);
    }
    for (const FieldCheck* check : failed) blankField(msg.HeaderLines, check->name);
    try {
        TIdMessageClient::ReadHeaderFields(msg, charsets);
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
            msg.From.SetAddress(decodedOrRaw(raw, charsets));
        } else if (name == "To") {
            setRawList(msg.Recipients, decodedOrRaw(raw, charsets));
        } else if (name == "Cc") {
            setRawList(msg.CCList, decodedOrRaw(raw, charsets));
        }
    }
    for (const FieldCheck* check : failed) result.RawFields.emplace_back(check->name);
    return result;
}
