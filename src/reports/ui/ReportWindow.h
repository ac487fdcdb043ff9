#pragma once

#include <QDialog>
#include <QHash>
#include <QPushButton>
#include <QTimer>

#include "reports/ReportReader.h"
#include "reports/ui/WindowServices.h"

class QLabel;

namespace tarsyn::reports::ui {

/// One indicator of the report: its 16 × 16 picture and its caption beside it, the caption wrapped
/// onto as many lines as the column's width needs, so no language's caption is cut. A push button
/// still, so the catalogue's "btnzsN.Caption" is its text.
class ReportIndicator : public QPushButton {
public:
    ReportIndicator(const QString& name, const QString& text, QWidget* parent);

    /// Where the caption is drawn, and whether all of it fits there.
    QRect textRect() const;
    bool textFits() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;

protected:
    void paintEvent(QPaintEvent* event) override;
};

/// The printed report `TForm12`: a one-page snapshot of the 22 delays and 32 indicators of the
/// controller on the current port, headed by the entry's name and the date and time. Each showing
/// clears it and reads the controller 200 ms later; a picture of it is saved to "cx.bmp", printed,
/// or saved straight into a PDF file.
class ReportWindow : public QDialog, public ReportSurface {
    Q_OBJECT
public:
    ReportWindow(ReportReader& reader, WindowServices services, QWidget* parent = nullptr);

    /// The language step: labels, buttons (caption and hint), the group box and the tab sheets.
    void relabel();

    QTimer& readTimer() { return m_timer; }  ///< 200 ms, one shot per showing
    /// The timer's tick: the read, with save and print off meanwhile.
    void read();

    void save();     ///< `btnbcwj`
    void print();    ///< `btnqxdy`
    void savePdf();  ///< `btnbcpdf`

    QLabel* panel(const QString& name) const { return m_panels.value(name); }
    ReportIndicator* indicator(const QString& name) const { return m_indicators.value(name); }
    int indicatorImage(const QString& name) const { return m_images.value(name); }

    // ReportSurface
    void setPanelText(const QString& panel, const QString& text) override;
    void setIndicatorImage(const QString& indicator, int image) override;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    QWidget* buildDelays();
    QWidget* buildIndicators();
    QWidget* buildLegend();

public:
    /// The window's picture: its client area above the button row.
    QImage picture();

private:
    void setPictureButtons(bool enabled);

    ReportReader& m_reader;
    WindowServices m_services;
    QTimer m_timer;
    QLabel* m_entry = nullptr;
    QLabel* m_stamp = nullptr;
    QHash<QString, QLabel*> m_panels;
    QHash<QString, ReportIndicator*> m_indicators;
    QHash<QString, int> m_images;
    QPushButton* m_save = nullptr;
    QPushButton* m_print = nullptr;
    QPushButton* m_pdf = nullptr;
};

}  // namespace tarsyn::reports::ui
