#include "config/LiveSettings.h"

#include "config/Config.h"

namespace tarsyn::config {

void LiveSettings::load(const Config& config) {
    // One reading of section Set; a missing key reads "0", as everywhere.
    const IniSection set = config.readSection(QStringLiteral("system.ini"), QStringLiteral("Set"));
    m_language = set.value("language");
    m_refresh = set.value("flash");
    m_save1 = set.value("save1");
    m_save2 = set.value("save2");
    bool ok = false;
    const int n = set.value("Ports").toInt(&ok);
    m_ports.clear();
    for (int i = 0; ok && i < n; ++i) {
        const QString row = QString::number(i);
        m_ports.append({set.value("Port" + row), set.value("remark" + row), set.value("portremark" + row)});
    }
    emit changed();
}

void LiveSettings::setLanguage(const QString& v) {
    if (v == m_language) return;
    m_language = v;
    emit changed();
}

void LiveSettings::setRefreshText(const QString& v) {
    if (v == m_refresh) return;
    m_refresh = v;
    emit changed();
}

void LiveSettings::setHourIntervalText(const QString& v) {
    if (v == m_save1) return;
    m_save1 = v;
    emit changed();
}

void LiveSettings::setDayIntervalText(const QString& v) {
    if (v == m_save2) return;
    m_save2 = v;
    emit changed();
}

void LiveSettings::setPorts(const QVector<PortEntry>& v) {
    if (v == m_ports) return;
    m_ports = v;
    emit changed();
}

void LiveSettings::assign(const LiveSettings& other) {
    if (m_language == other.m_language && m_refresh == other.m_refresh && m_save1 == other.m_save1 &&
        m_save2 == other.m_save2 && m_ports == other.m_ports)
        return;
    m_language = other.m_language;
    m_refresh = other.m_refresh;
    m_save1 = other.m_save1;
    m_save2 = other.m_save2;
    m_ports = other.m_ports;
    emit changed();
}

QString Messages::language() const { return m_settings.language(); }

QString Messages::text(const QString& key) const {
    return m_config.reini(m_settings.language() + QStringLiteral(".lag"), QStringLiteral("Messages"), key);
}

}  // namespace tarsyn::config
