#pragma once

#include <QAbstractTableModel>
#include <QByteArray>
#include <array>
#include <deque>

#include "config/Config.h"
#include "link/LinkMeter.h"

namespace tarsyn::config {
class LiveSettings;
}

namespace tarsyn::fleet {

/// The live log of the frames on the line, for the link diagnostics window: the last kCapacity frames
/// the meter told it of while attached, each kind shown or hidden, paused and resumed. It listens only
/// while attached (the window attaches it while it is open), so a closed window costs the line nothing.
class FrameLog : public QAbstractTableModel, public link::FrameListener {
    Q_OBJECT
public:
    static constexpr int kCapacity = 10000;
    enum Column {
        TimeColumn,
        PortColumn,
        DirectionColumn,
        KindColumn,
        FrameColumn,
        LengthColumn,
        VerdictColumn,
        DurationColumn,
        ColumnCount
    };

    FrameLog(const config::Config& config, const config::LiveSettings& settings, QObject* parent = nullptr);
    ~FrameLog() override;

    /// Listens to `meter` from now on; null stops listening. The frames kept stay.
    void attach(link::LinkMeter* meter);
    bool attached() const { return m_meter != nullptr; }
    /// While paused, frames are not kept: what is shown stands still.
    void setPaused(bool paused) { m_paused = paused; }
    bool paused() const { return m_paused; }
    void setKindShown(link::FrameKind kind, bool shown);
    bool kindShown(link::FrameKind kind) const { return m_shownKinds[size_t(kind)]; }
    /// Reads the texts of the catalogue in effect.
    void relabel();

    /// Frames kept, shown or not.
    int keptCount() const { return int(m_all.size()); }
    /// The frame of a shown row.
    const link::FrameRecord& frame(int row) const { return m_shown[size_t(row)]; }
    /// The shown rows as the CSV file the window exports: a header line, then one line per row.
    QByteArray csv() const;

    /// `text` with the line ends and other control characters written out ("<CR><LF>").
    static QString visibleText(const QString& text);

    void frameSeen(const link::FrameRecord& frame) override;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    QString cellText(const link::FrameRecord& frame, int column) const;
    QString kindText(link::FrameKind kind) const;
    QString message(const char* key, const char* english) const;

private:
    void rebuildShown();

    const config::Config& m_config;
    const config::LiveSettings& m_settings;
    link::LinkMeter* m_meter = nullptr;
    bool m_paused = false;
    std::array<bool, link::kFrameKindCount> m_shownKinds{true, true, true, true};
    std::deque<link::FrameRecord> m_all;    // oldest first, at most kCapacity
    std::deque<link::FrameRecord> m_shown;  // those of m_all whose kind is shown
    config::IniSection m_messages;
};

}  // namespace tarsyn::fleet
