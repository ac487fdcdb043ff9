#pragma once
// The live view of the poll benchmarks: it keeps only the latest texts, as a window's labels do, so
// that a tick's cost is the cycle's own.
#include <QHash>
#include <QString>

#include "monitor/LiveView.h"

namespace tarsyn::bench {

class LatestView : public monitor::LiveView {
public:
    explicit LatestView(QString remark = {}) : m_remark(std::move(remark)) {}
    void setPanelText(const QString& panel, const QString& text) override { panels[panel] = text; }
    void setIndicatorImage(const QString& indicator, int image) override { lamps[indicator] = image; }
    void setConnectionImage(int) override {}
    void setMode(const QString&, bool) override {}
    void setEntryTexts(const QString&, const QString&, const QString&) override {}
    void setPortText(const QString&) override {}
    QString remarkText() const override { return m_remark; }
    QHash<QString, QString> panels;
    QHash<QString, int> lamps;

private:
    QString m_remark;
};

}  // namespace tarsyn::bench
