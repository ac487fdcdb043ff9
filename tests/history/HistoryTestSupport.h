#pragma once

#include <QString>
#include <array>

#include "history/HistoryColumns.h"
#include "link/Codec.h"

namespace tarsyn::test {

/// A 106-character live reply ("00" "04" "30", 48 data bytes, check, CR LF) whose recorded fields
/// carry `raw` (in history column order sj1…sj20); every other field is zero.
inline QString liveReply(const std::array<quint32, history::kValueCount>& raw) {
    QString body = QStringLiteral("000430") + QString(96, QLatin1Char('0'));
    const auto& cols = history::historyColumns();
    for (size_t i = 0; i < cols.size(); ++i)
        body.replace(cols[i].position - 1, cols[i].width,
                     link::ToHex(raw[i], cols[i].width).right(cols[i].width));
    return link::BuildFrame(body);
}

/// A reply whose field of column i holds i + 1 + offset.
inline QString countingReply(quint32 offset = 0) {
    std::array<quint32, history::kValueCount> raw{};
    for (size_t i = 0; i < raw.size(); ++i) raw[i] = quint32(i) + 1 + offset;
    return liveReply(raw);
}

}  // namespace tarsyn::test
