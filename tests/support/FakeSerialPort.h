#pragma once

#include <QString>
#include <QStringList>
#include <functional>

#include "link/LinkError.h"
#include "link/SerialPort.h"

namespace tarsyn::test {

/// A scripted serial port: bytes that "arrive" are queued by the test, bytes written are recorded,
/// and any operation can be made to fail.
class FakeSerialPort : public link::SerialPort {
public:
    void setPortName(const QString& name) override { m_name = name; }
    QString portName() const override { return m_name; }
    void setLineSettings(const link::LineSettings& s) override { lineSettings = s; }

    void OpenPort() override {
        ++openCount;
        if (m_open) return;
        if (raiseOnOpen) raiseOnOpen(m_name);
        if (failOpen || (canOpen && !canOpen(m_name)))
            throw link::SerialError(QStringLiteral("Could not open %1").arg(m_name));
        m_open = true;
        openedNames << m_name;
    }
    void ClosePort() override {
        if (failClose && m_open) throw link::SerialError("close failed");
        if (m_open) ++closeCount;
        m_open = false;
    }
    bool Connected() const override { return m_open; }
    void PurgeQueues() override {
        check("Purge");
        ++purgeCount;
        incoming.clear();
    }
    void WriteText(const QString& text) override {
        check("Write");
        if (failWrite) throw link::SerialError("write failed");
        written << text;
        if (onWrite) onWrite(text);
    }
    QString ReadAvailable(int count) override {
        check("Read");
        if (failRead) throw link::SerialError("read failed");
        const QString head = incoming.left(count);
        incoming.remove(0, head.size());
        return head;
    }

    /// Queue characters as if the controller had sent them.
    void arrive(const QString& text) { incoming += text; }
    /// Simulate the device vanishing (the port layer notices and closes itself).
    void lose() { m_open = false; }

    QString incoming;
    QStringList written;
    QStringList openedNames;
    link::LineSettings lineSettings;
    std::function<void(const QString&)> onWrite;      // e.g. queue a reply for each request
    std::function<bool(const QString&)> canOpen;      // which names exist
    std::function<void(const QString&)> raiseOnOpen;  // throws a chosen error (e.g. PortOpenError) on open
    bool failOpen = false, failWrite = false, failRead = false, failClose = false;
    int openCount = 0, closeCount = 0, purgeCount = 0;

private:
    void check(const char* op) const {
        if (!m_open)
            throw link::SerialError(QStringLiteral("%1 failed: port not open").arg(QLatin1String(op)));
    }
    QString m_name = QStringLiteral("COM1");
    bool m_open = false;
};

}  // namespace tarsyn::test
