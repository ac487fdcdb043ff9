#pragma once

#include <QDialog>
#include <QTimer>

#include "reports/AlarmHistory.h"
#include "reports/ui/WindowServices.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QTableWidget;

namespace tarsyn::reports {
class AlarmCsvExport;
}

namespace tarsyn::reports::ui {

/// The controller alarm history `TForm17`: the log read from the controller six records a page,
/// four paging buttons, a picture of the window saved to "cx.bmp" or printed, and the whole log
/// exported to CSV. Each showing empties the list and reads one second later (`tmr1`).
class AlarmHistoryWindow : public QDialog {
    Q_OBJECT
public:
    AlarmHistoryWindow(AlarmHistory& history, AlarmCsvExport& csv, WindowServices services,
                       QWidget* parent = nullptr);

    /// The language step: catalogue texts of labels and buttons, and the column captions
    /// `dl30`…`dl32`.
    void relabel();

    QTimer& firstReadTimer() { return m_tmr1; }  ///< `tmr1`, 1000 ms, one shot per showing
    /// `tmr1`'s tick: the first read.
    void firstRead();
    /// Copies the logic's state onto the controls.
    void refresh();

    void save();       ///< `btnbcwj`: the window's picture into "cx.bmp"
    void print();      ///< `btnqxdy`: the whole log read afresh, a picture of the window a page
    void exportCsv();  ///< `btndccsv`

    /// The window's picture: its client area above the button row.
    QImage picture();
    /// The window's picture for each page of `rows` (the whole log), as the paging shows them; the
    /// window shows its own page again afterwards.
    QList<QImage> logPictures(const QList<AlarmRow>& rows);

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void page(void (AlarmHistory::*step)());
    void fillList(const QList<AlarmRow>& rows);
    /// Runs `work` with every button off and the progress bar moving.
    void whileBusy(const std::function<void(const LogProgress&)>& work);

    AlarmHistory& m_history;
    AlarmCsvExport& m_csv;
    WindowServices m_services;
    QTimer m_tmr1;
    QTableWidget* m_list = nullptr;
    QLabel* m_total = nullptr;
    QLabel* m_entry = nullptr;
    QLabel* m_pageCaption = nullptr;
    QLabel* m_page = nullptr;
    QLabel* m_slash = nullptr;
    QLabel* m_pageCount = nullptr;
    QPushButton* m_first = nullptr;
    QPushButton* m_previous = nullptr;
    QPushButton* m_next = nullptr;
    QPushButton* m_last = nullptr;
    QPushButton* m_save = nullptr;
    QPushButton* m_print = nullptr;
    QPushButton* m_export = nullptr;
    QPushButton* m_close = nullptr;
    QProgressBar* m_progress = nullptr;
    bool m_busy = false;
};

}  // namespace tarsyn::reports::ui
