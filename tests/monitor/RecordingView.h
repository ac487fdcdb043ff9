#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

#include "monitor/LiveView.h"

namespace tarsyn::test {

/// A LiveView that keeps the latest state of every control and a log of every write, in order.
class RecordingView : public monitor::LiveView {
public:
    void setPanelText(const QString& panel, const QString& text) override {
        panels[panel] = text;
        log << panel;
    }
    void setIndicatorImage(const QString& indicator, int image) override {
        indicators[indicator] = image;
        log << indicator;
    }
    void setConnectionImage(int image) override {
        connection = image;
        connectionHistory << image;
    }
    void setMode(const QString& label, bool rotation) override {
        modeLabel = label;
        rotationPicture = rotation;
    }
    void setEntryTexts(const QString& p, const QString& r, const QString& n) override {
        port = p;
        remark = r;
        notes = n;
    }
    void setPortText(const QString& p) override { port = p; }
    void setPortProblem(const QString& text) override { portProblem = text; }
    QString remarkText() const override { return remark; }

    QHash<QString, QString> panels;
    QHash<QString, int> indicators;
    QStringList log;
    int connection = -1;
    QList<int> connectionHistory;
    QString modeLabel;
    bool rotationPicture = false;
    QString port, remark, notes, portProblem;
};

}  // namespace tarsyn::test
