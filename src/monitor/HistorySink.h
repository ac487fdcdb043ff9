#pragma once

#include <QString>

namespace tarsyn::monitor {

/// Where the poll cycle hands every live reply that passed its check, together with the current
/// entry's remark; the history recorder decides whether a row is due.
class HistorySink {
public:
    virtual ~HistorySink() = default;
    virtual void recordLiveReply(const QString& reply, const QString& remark) = 0;
};

}  // namespace tarsyn::monitor
