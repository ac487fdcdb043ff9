#pragma once

#include <QObject>
#include <QString>
#include <QVector>

namespace tarsyn::config {

class Config;

/// One row of the port list: the device, the short label of the controller on it, free notes.
struct PortEntry {
    QString port;
    QString remark;
    QString notes;
    bool operator==(const PortEntry& o) const {
        return port == o.port && remark == o.remark && notes == o.notes;
    }
};

/// The program's live settings (section Set of system.ini, loaded once at start): the poll cycle reads
/// the port list and refresh time from here, the recorder the two intervals, message lookups the
/// language. The settings window edits this object; system.ini is only its persistent copy.
/// Values are kept as the texts the operator typed; readers convert them when they use them.
class LiveSettings : public QObject {
    Q_OBJECT
public:
    explicit LiveSettings(QObject* parent = nullptr) : QObject(parent) {}

    /// Reads "language", "flash", "save1", "save2", "ports" and the row keys from section Set.
    void load(const Config& config);

    QString language() const { return m_language; }
    QString refreshText() const { return m_refresh; }     ///< "flash", whole seconds
    QString hourIntervalText() const { return m_save1; }  ///< "save1", seconds, table "nls"
    QString dayIntervalText() const { return m_save2; }   ///< "save2", minutes, table "24xs"
    QVector<PortEntry> ports() const { return m_ports; }

    void setLanguage(const QString& v);
    void setRefreshText(const QString& v);
    void setHourIntervalText(const QString& v);
    void setDayIntervalText(const QString& v);
    void setPorts(const QVector<PortEntry>& v);
    /// Takes every value of `other`, with one `changed` when anything differs.
    void assign(const LiveSettings& other);

signals:
    void changed();

private:
    QString m_language = QStringLiteral("0");
    QString m_refresh = QStringLiteral("6");
    QString m_save1 = QStringLiteral("60");
    QString m_save2 = QStringLiteral("1");
    QVector<PortEntry> m_ports;
};

/// Message texts and window titles from the "Messages" section of the current language's catalogue,
/// looked up afresh at every call so that a language change shows at once; a missing key gives "0".
class Messages {
public:
    Messages(const Config& config, const LiveSettings& settings) : m_config(config), m_settings(settings) {}
    QString text(const QString& key) const;
    QString language() const;

private:
    const Config& m_config;
    const LiveSettings& m_settings;
};

}  // namespace tarsyn::config
