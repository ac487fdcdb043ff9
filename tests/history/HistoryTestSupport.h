#pragma once

#include <QString>
#include <array>

#include "history/HistoryColumns.h"
#include "link/Codec.h"

namespace tarsyn::test {

/// Where each history column's value sits in the live reply and how it is scaled, written out
/// here rather than taken from the program's own table, so that a wrong position there shows.
struct ReplyColumn {
    const char* name;
    int position;  // 1-based character position in the reply
    int width;     // characters
    int divisor;
};
inline const std::array<ReplyColumn, history::kValueCount>& replyColumns() {
    static const std::array<ReplyColumn, history::kValueCount> columns{{
        {"sj1", 67, 4, 1},  {"sj2", 71, 4, 1},    {"sj3", 75, 4, 1},  {"sj4", 55, 4, 1},  {"sj5", 59, 4, 1},
        {"sj6", 63, 4, 1},  {"sj7", 91, 4, 10},   {"sj8", 19, 4, 10}, {"sj9", 95, 4, 10}, {"sj10", 99, 4, 1},
        {"sj11", 79, 4, 1}, {"sj12", 27, 4, 1},   {"sj13", 83, 4, 1}, {"sj14", 31, 4, 1}, {"sj15", 35, 4, 10},
        {"sj16", 87, 4, 1}, {"sj17", 45, 2, 100}, {"sj18", 7, 4, 1},  {"sj19", 11, 4, 1}, {"sj20", 15, 4, 1},
    }};
    return columns;
}

/// A 106-character live reply ("00" "04" "30", 48 data bytes, check, CR LF) whose recorded fields
/// carry `raw` (in history column order sj1…sj20); every other field is zero.
inline QString liveReply(const std::array<quint32, history::kValueCount>& raw) {
    QString body = QStringLiteral("000430") + QString(96, QLatin1Char('0'));
    const auto& cols = replyColumns();
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
