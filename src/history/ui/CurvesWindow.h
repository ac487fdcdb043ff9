#pragma once

#include <QDialog>
#include <QHash>
#include <QImage>
#include <functional>

#include "history/CurveData.h"

class QComboBox;
class QLabel;

namespace tarsyn::config {
class Config;
class Messages;
class Prompter;
}  // namespace tarsyn::config

namespace tarsyn::history {

class CurveQuery;

/// The history curves window `TForm5`: one channel of the current device over the last hour (upper
/// chart) and the last 24 hours (lower chart). It queries when it is created, each time it is shown
/// and on `btncx`; saves its picture to "qx.bmp" (`btnbcwj`), prints it (`btnqxdy`) and
/// exports the channel's rows as CSV (`btncsv`).
/// The charts and their figures come from the curve logic; this
/// window only binds them to its controls.
class CurvesWindow : public QDialog {
    Q_OBJECT
public:
    using Translator = std::function<void(QWidget*)>;
    using TextSource = std::function<QString()>;
    /// Asks for a file to write; an empty name cancels.
    using FileChooser = std::function<QString(QWidget* parent)>;

    struct Hooks {
        TextSource portName;    ///< the main window's serial port ("COM1"); shown in lower case
        TextSource device;      ///< the current port entry's remark, as the recorder stores it
        Translator translate;   ///< the catalogue's control texts (labels, push buttons with hints)
        FileChooser choosePdf;  ///< where a print goes when there is no printer (default: a save dialog)
        FileChooser chooseCsv;  ///< where the CSV export goes (default: a save dialog)
    };

    CurvesWindow(CurveQuery& query, const config::Config& config, const config::Messages& messages,
                 config::Prompter& prompter, Hooks hooks, QWidget* parent = nullptr);

    /// The language hot key's steps for this window: control texts, the title "Form5caption", and the
    /// twenty channel names again with the selected index kept.
    void relabel();

    /// `btncx`: unit labels, port label, then the day chart and the hour chart. Text typed into the
    /// channel box that names no channel is refused with a message and changes nothing. False when
    /// refused or when the database failed (reported; what was drawn before stays).
    bool runQuery();
    /// The window's picture: its client area above the button row.
    QImage picture();
    /// `btnbcwj`: the window picture into "qx.bmp" in the data folder (asking before it replaces
    /// one), then the file's name and `dl18`.
    void savePicture();
    /// `btnqxdy`: the window picture six times its size on the default printer, or into a PDF.
    void printPicture();
    /// `btncsv`: the selected channel's hour and day rows of the current device into a CSV file the
    /// operator chooses; then the file name and `dl18`.
    void exportCsv();

    QComboBox* channelBox() const { return m_channels; }
    QLabel* label(const QString& objectName) const { return m_labels.value(objectName); }
    /// The image last drawn for a chart (null before the first query).
    QImage chartImage(ChartKind kind) const { return kind == ChartKind::Day ? m_dayImage : m_hourImage; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void fillChannels();
    bool queryCharts(bool quietWhenClosed);
    void showChart(const ChartData& chart);
    QLabel* addLabel(QWidget* parent, const QString& name, const QString& text, const QRect& geometry);
    void buildChartGroup(ChartKind kind, int top);
    int selectedChannel() const;

    CurveQuery& m_query;
    const config::Config& m_config;
    const config::Messages& m_messages;
    config::Prompter& m_prompter;
    Hooks m_hooks;
    QComboBox* m_channels = nullptr;
    QHash<QString, QLabel*> m_labels;
    QImage m_dayImage;
    QImage m_hourImage;
};

}  // namespace tarsyn::history
