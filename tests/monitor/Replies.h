#pragma once

#include <QByteArray>
#include <QString>

#include "link/Codec.h"

namespace tarsyn::test {

/// A whole reply to a block read: "00" "04", the byte count, the data, the check and CR LF.
inline QString blockReply(const QByteArray& data) {
    return link::BuildFrame(QStringLiteral("0004") + link::ToHex(quint32(data.size()), 2) +
                            QString::fromLatin1(data.toHex().toUpper()));
}

/// The live block (48 bytes) with the byte at `offset` (and the following ones) replaced.
inline QByteArray liveData(int offset = -1, const QByteArray& bytes = {}) {
    QByteArray data(48, '\0');
    if (offset >= 0) data.replace(offset, bytes.size(), bytes);
    return data;
}

/// Puts `text` at the 1-based `position` of `reply` (overwriting).
inline QString patched(QString reply, int position, const QString& text) {
    reply.replace(position - 1, text.size(), text);
    return reply;
}

}  // namespace tarsyn::test
