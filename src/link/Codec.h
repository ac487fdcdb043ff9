#pragma once

#include <QString>
#include <QtGlobal>

/// The controller's line format: ASCII hexadecimal requests closed by a two-digit XOR check and CR LF.
/// Replies are "00" "04" count data check CR LF; positions in a reply are 1-based, data byte k of a
/// block sits at positions 7+2k and 8+2k, values are unsigned and most significant byte first.
namespace tarsyn::link {

/// XOR of the request text read as two-digit hexadecimal values; a trailing single digit counts 0-15.
/// An empty text gives 0. Raises ConversionError on a non-hexadecimal character.
int XorCheck(const QString& request);

/// The request followed by its XorCheck as two upper-case digits, then CR LF.
QString BuildFrame(const QString& request);

/// Unsigned value of `width` characters of `reply` from the 1-based `position`, read as hexadecimal.
/// A field cut by the end of the reply is read as far as it goes; an empty or non-hexadecimal field
/// raises ConversionError. Never reads outside the reply.
quint32 HexField(const QString& reply, int position, int width);

/// Four '0'/'1' characters per hexadecimal digit, most significant bit first ("A5" gives "10100101").
/// Raises ConversionError on an empty text or a non-hexadecimal digit.
QString HexToBits(const QString& hex);

/// The integer spelled in base 2 by a text of '0'/'1' characters, the last character being bit 0;
/// any character other than '1' adds nothing. An empty text gives 0.
quint64 BitsToInt(const QString& bits);

/// Value of a text of hexadecimal digits (upper or lower case); ConversionError when empty,
/// non-hexadecimal or wider than 8 digits.
quint32 ParseHex(const QString& digits);

/// The value of one hexadecimal digit (upper or lower case), or -1 for any other character.
int HexDigit(QChar c);

/// `value` as upper-case hexadecimal with at least `minDigits` digits, zero-padded on the left.
QString ToHex(quint32 value, int minDigits);

}  // namespace tarsyn::link
