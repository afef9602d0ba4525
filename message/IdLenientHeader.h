#pragma once

#include "message/IdCharsets.h"
#include "message/IdMessage.h"

#include <string>
#include <vector>

// Fills the header fields of a message from its HeaderLines as header
// processing does (TIdMessageClient::ReadHeaderFields), but field by field:
// a field whose processing fails keeps its raw text (an address list: one
// item holding the text as its address) and the other fields are still
// filled. Used where one bad field must not hide the rest of a header, as
// in the check run's list.
struct TIdLenientFields {
    // The text of the first failure, empty when every field was read.
    std::string Error;
    // The names of the fields that kept their raw text.
    std::vector<std::string> RawFields;
};

// Encoded words are decoded as `charsets` says. Throws nothing of the
// EIdException family.
TIdLenientFields ReadHeaderFieldsLeniently(TIdMessage& msg, TIdCharsetDecoding charsets = TIdCharsetDecoding::Written);
