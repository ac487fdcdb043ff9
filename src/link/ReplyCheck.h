#pragma once

#include <QString>

/// The one gate every reply passes before any field of it is decoded. A reply is trusted only when
/// it is the whole frame its request asks for:
///
///  - a block read "00" "04" address count (N bytes) is answered "00" "04", N as two digits, the
///    N data bytes, the XOR check of everything before it, then CR LF: 2N+10 characters;
///  - a command (05), a single write (06) or a word write (07) is answered with its own line echoed:
///    the request, its check, CR LF.
///
/// Characters before the check must be hexadecimal digits (either case); the check is the XorCheck
/// of the characters before it; what follows the check must begin as CR LF (a reply read before its
/// line end arrived is whole). Nothing may follow the CR LF: a second frame for one request means one
/// of the two was not this request's (a late reply joined to the next looks exactly like a good one
/// when both blocks have the same size), so callers read a little beyond the reply to see it.
/// Pure text processing: no I/O, no Qt Widgets, never reads outside `reply`.
///
///     CheckReply("0004020C0A00\r\n", "000400800002") == ReplyVerdict::Ok
namespace tarsyn::link {

/// What CheckReply found, in the order the checks run; only Ok may be decoded.
enum class ReplyVerdict {
    Ok,             ///< the whole frame the request asks for
    NoReply,        ///< nothing arrived
    NotHex,         ///< a character before the line end is not a hexadecimal digit (noise, a cut line)
    WrongStation,   ///< characters 1-2 are not the station the request went to
    WrongFunction,  ///< characters 3-4 are not the request's function
    WrongCount,     ///< a block read's byte count (characters 5-6) is not the count asked for
    WrongEcho,      ///< a command's or write's echo differs from the request
    Short,          ///< the frame stops before its check
    BadCheck,       ///< the check characters are not the XorCheck of the frame
    BadEnd,         ///< the check is followed by something other than CR LF
    Trailing,       ///< more characters follow the CR LF: a second frame came for one request
    /// The frame is whole, but a field of it decodes outside its physical range: the reply carries
    /// another block's bytes (a late reply, another address), which no frame check can see since a
    /// reply names no address. CheckReply never says it; the reader that knows the block's fields does.
    OutOfRange,
};

/// Characters of the whole reply `request` asks for, CR LF included: 2N+10 for a block read of N
/// bytes, the request's length plus 4 for an echoed command or write; 0 for a request that is not
/// one of the program's (not hexadecimal, shorter than 12 characters).
int ReplyLength(const QString& request);

/// Characters a reader asks for beyond ReplyLength, to see a frame that follows the reply.
constexpr int kReplyPeek = 2;

/// Checks `reply` (as read from the port: up to kReplyPeek characters more than ReplyLength) against
/// the `request` text it answers (without check and line end, as given to BuildFrame).
ReplyVerdict CheckReply(const QString& reply, const QString& request);

/// A short English name of a verdict ("bad check"), for logs and diagnostics.
QString ReplyVerdictName(ReplyVerdict verdict);

}  // namespace tarsyn::link
