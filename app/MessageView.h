#pragma once

#include "message/IdMessage.h"

#include <string>
#include <string_view>

// The text of the message view, as bytes with CR LF line ends. Before a
// download it is the header lines; after it, top to bottom, the list of
// attachments, the text parts and the header, each under its section line.
// Nothing of a message is opened or run: an attachment is one line whose
// link saves its decoded content, when clicked, where the user chooses.

inline constexpr std::string_view S_att = "---Attachments-------------------------------";
inline constexpr std::string_view S_body = "---Body--------------------------------------";
inline constexpr std::string_view S_head = "---Header------------------------------------";

// Where the link of an attachment line starts: an http link to the
// loopback host, which is never contacted: a click on it saves the
// attachment, nothing more.
inline constexpr std::string_view AttachmentLinkPrefix = "http://localhost/";

// The view's text for a message. Not `retrieved`: the header lines. A
// retrieved message without text parts or attachments: its body lines
// alone. Otherwise an empty line, S_att, an empty line and the attachment
// lines (only when there are attachments, then an empty line); S_body and,
// for each text part (or, without text parts, for the body lines), an
// empty line and its lines; two empty lines, S_head and the header lines. `bodyError` (why the rest of the message could not be read; empty
// when nothing failed) follows what could be read as a line of its own.
[[nodiscard]] std::string MessageViewText(const TIdMessage& msg, bool retrieved, std::string_view bodyError = {});

// The attachment line of the part at `index` of its message's parts:
// AttachmentLinkPrefix, the file name, "/ID=", the index, a blank, the file
// name in upper case (ASCII letters), " (", the content type, ")". The file
// name is the one proposed for saving (SafeFileName), so it holds no "/"
// that could be taken for the "/ID=" of the link.
[[nodiscard]] std::string AttachmentLine(const TIdAttachment& part, int index);

// A file name from a message made safe to propose: cut to its last path
// component ("/" and "\" alike), without control characters, leading dots
// and blanks, or trailing blanks, at most kMaxFileNameBytes long (the
// extension kept when it is short); "attachment" when nothing is left.
[[nodiscard]] std::string SafeFileName(std::string_view name);
inline constexpr std::size_t kMaxFileNameBytes = 200;

// The part index named by an attachment link: the text after its first
// "/ID=" as a decimal integer; EConvertError when it is not one.
[[nodiscard]] int PartIndexOfLink(std::string_view link);
