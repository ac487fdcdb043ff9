#pragma once

#include <QString>

#include "monitor/LiveView.h"

namespace tarsyn::station {

/// What the poll cycle of a line says about the line besides its readings, kept for readers without
/// a window (the current entry, the connection picture, the mode, why a port would not open), and
/// passed on to the window that draws the line, when there is one.
class StationView : public monitor::LiveView {
public:
    /// The view that draws (the main window), or null. Attach it before the station starts: what was
    /// shown before is not replayed.
    void setDrawn(monitor::LiveView* drawn) { m_drawn = drawn; }
    monitor::LiveView* drawn() const { return m_drawn; }

    void setPanelText(const QString& panel, const QString& text) override;
    void setIndicatorImage(const QString& indicator, int image) override;
    void setConnectionImage(int image) override;
    void setMode(const QString& label, bool rotation) override;
    void setEntryTexts(const QString& port, const QString& remark, const QString& notes) override;
    void setPortText(const QString& port) override;
    void setPortProblem(const QString& text) override;
    QString remarkText() const override { return m_remark; }

    QString portText() const { return m_port; }
    QString notesText() const { return m_notes; }
    QString portProblem() const { return m_portProblem; }
    QString modeLabel() const { return m_modeLabel; }
    bool rotation() const { return m_rotation; }
    int connectionImage() const { return m_connectionImage; }

private:
    monitor::LiveView* m_drawn = nullptr;
    QString m_port, m_remark, m_notes, m_portProblem, m_modeLabel;
    bool m_rotation = false;
    int m_connectionImage = -1;
};

}  // namespace tarsyn::station
