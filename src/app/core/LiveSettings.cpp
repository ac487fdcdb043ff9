#include "app/core/LiveSettings.h"

#include "app/core/Config.h"

namespace tarsyn::app {

void LiveSettings::load(const Config& config) {
    const QString ini = QStringLiteral("system.ini");
    const QString set = QStringLiteral("Set");
    m_language = config.reini(ini, set, "language");
    m_refresh = config.reini(ini, set, "flash");
    m_save1 = config.reini(ini, set, "save1");
    m_save2 = config.reini(ini, set, "save2");
    bool ok = false;
    const int n = config.reini(ini, set, "Ports").toInt(&ok);
    m_ports.clear();
    for (int i = 0; ok && i < n; ++i) {
        const QString row = QString::number(i);
        m_ports.append({config.reini(ini, set, "Port" + row), config.reini(ini, set, "remark" + row),
                        config.reini(ini, set, "portremark" + row)});
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

QString Messages::language() const { return m_settings.language(); }

QString Messages::text(const QString& key) const {
    return m_config.reini(m_settings.language() + QStringLiteral(".lag"), QStringLiteral("Messages"), key);
}

}  // namespace tarsyn::app
