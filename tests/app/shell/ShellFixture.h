#pragma once

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include "app/core/SettingsLogic.h"
#include "config/Config.h"
#include "config/LiveSettings.h"

namespace tarsyn::test {

/// A data folder with a consistent system.ini and a catalogue "Test.lag" whose messages are their own
/// keys ("dl2" reads "dl2"), so a test sees which message was shown.
struct ShellFixture {
    QTemporaryDir dir;
    config::Config config{dir.path()};
    config::LiveSettings live;
    config::Messages messages{config, live};

    static constexpr const char* kSuper = "admin1";
    static constexpr const char* kOrdinary = "user22";

    explicit ShellFixture(int ports = 3, const QString& flash = QStringLiteral("10")) {
        QFile lag(config.filePath(QStringLiteral("Test.lag")));
        if (lag.open(QIODevice::WriteOnly)) {
            QByteArray text = "[Messages]\n";
            for (const char* key : {"dl1", "dl2", "dl20", "dl28", "dl29", "dl33", "Form2caption",
                                    "Form11caption", "Form16caption", "port", "remark", "notes", "gdsb"})
                text += QByteArray(key) + '=' + key + '\n';
            lag.write(text);
        }
        QList<config::IniEntry> e{{"Set", "language", "Test"},
                                  {"Set", "flash", flash},
                                  {"Set", "save2", "5"},
                                  {"Set", "save1", "60"},
                                  {"Set", "ports", QString::number(ports)}};
        for (int i = 0; i < ports; ++i) {
            const QString n = QString::number(i);
            e << config::IniEntry{"Set", "port" + n, "com" + QString::number(i + 1)}
              << config::IniEntry{"Set", "remark" + n, "gen" + n}
              << config::IniEntry{"Set", "portremark" + n, "notes " + n};
        }
        e << config::IniEntry{"Set", "cjkl", hashOf(kSuper)}
          << config::IniEntry{"Set", "ptkl", hashOf(kOrdinary)};
        config.wriniBatch("system.ini", e);
        reseal();
        live.load(config);
    }

    QString hashOf(const QString& password) const {
        return QString::number(config::ProductHash(config.toAnsi(password)));
    }
    QString read(const QString& key) const { return config.reini("system.ini", "Set", key); }
    /// Recomputes "jzm" from what the file holds now.
    void reseal() {
        config.wrini("system.ini", "Set", "jzm",
                     config::CheckValue(config, read("language"), read("flash"), read("save2"), read("save1"),
                                        read("ports"), read("cjkl"), read("ptkl")));
    }
    QByteArray fileBytes() const {
        QFile f(config.filePath("system.ini"));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
};

/// Puts the program's English catalogue beside the fixture's and makes it the language in effect, so
/// that a test reads the messages the operator reads.
inline bool useEnglish(ShellFixture& fx) {
    const QString source = qEnvironmentVariable("TARSYN_SOURCE_DIR") + QStringLiteral("/data/English.lag");
    if (!QFile::exists(fx.config.filePath(QStringLiteral("English.lag"))) &&
        !QFile::copy(source, fx.config.filePath(QStringLiteral("English.lag"))))
        return false;
    fx.live.setLanguage(QStringLiteral("English"));
    return true;
}

/// The settings window's captions and units as the English catalogue gives them, without colons.
inline app::SettingsLogic::FieldLabels englishLabels() {
    const config::Config data(qEnvironmentVariable("TARSYN_SOURCE_DIR") + QStringLiteral("/data"));
    auto caption = [&data](const char* control) {
        QString t = data.reini(QStringLiteral("English.lag"), QStringLiteral("Translations"),
                               QString::fromLatin1(control) + QStringLiteral(".Caption"));
        if (t.endsWith(QLatin1Char(':'))) t.chop(1);
        return t;
    };
    app::SettingsLogic::FieldLabels l;
    l.language = caption("lbl1");
    l.refresh = caption("lbl2");
    l.refreshUnit = caption("lbl3");
    l.hourInterval = caption("lbl4");
    l.hourUnit = caption("lbl5");
    l.dayInterval = caption("lbl6");
    l.dayUnit = caption("lbl7");
    l.superPassword = caption("lbl8");
    l.ordinaryPassword = caption("lbl9");
    l.port = caption("lblport");
    l.remark = caption("lblremark");
    l.notes = caption("lblnotes");
    return l;
}

}  // namespace tarsyn::test
