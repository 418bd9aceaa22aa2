// Reading the plotter's replies: the reply text, its field before the ETX,
// numbers in it, the firmware version and the judgement of status and
// progress values. Plain text work; nothing here talks to the plotter.
#pragma once

#include "platform/afx.h"
#include "wizard/update_result.h"

namespace protocol {

// Every reply is read into a zero-filled buffer of this many bytes.
const int kReplyCapacity = 256;
// Ends the field of a reply.
const char kEtx = '\x03';

// The text of a reply: the bytes the read reported, never more than the
// buffer holds however many the library claims, up to the first NUL.
CString ReplyText(const char* buffer, int count);

// The field of a reply text: what stands before its first ETX, trimmed of
// white space. Only a text whose first ETX comes after at least one byte has
// a field; false for one without ETX or beginning with it.
bool ReplyField(const CString& text, CString* field);

// The leading integer of text, read as atoi reads it (white space skipped,
// an optional sign, the digits up to the first other character; 0 when no
// number comes first), in every locale. A value beyond int saturates.
int ReadInteger(const char* text);

// The leading decimal number of text, read as atof reads it in the "C"
// locale whatever the process locale: white space skipped, an optional sign,
// then a decimal or hexadecimal number with optional exponent, or INF,
// INFINITY, NAN; 0 when no number comes first. Too large gives infinity.
double ReadDecimal(const char* text);

// The version text inside a version reply: the field when there is one,
// then the part before a ",", then the part after the first capital "V",
// each step trimmed.
CString VersionText(const CString& replyText);

// The version x100 of version number x: (x + 0.0001) x 100, truncated. False
// when that is no int (too large, infinite or not a number); then *version
// is 0.
bool ScaleVersion(double x, int* version);

// Status values the plotter may hold when it is asked to take firmware: no
// bit set other than 0x04 and 0x80.
bool StatusAccepted(int status);

// What a progress value means: -1 busy, 0 ready or finished, others failed.
int ProgressResult(int progress);

// Whether text begins with a number as ReadInteger reads one (white space,
// an optional sign, then a digit). A field without one is no value at all.
bool HoldsNumber(const char* text);

}  // namespace protocol
