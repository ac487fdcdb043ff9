#include "app/TrayIcon.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QSystemTrayIcon>
#include <QWidget>

namespace tarsyn::app {

TrayIcon::TrayIcon(QWidget* mainWindow, QObject* parent) : QObject(parent), m_mainWindow(mainWindow) {
    m_frames = frames();
    m_timer.setInterval(kFrameIntervalMs);
    connect(&m_timer, &QTimer::timeout, this, &TrayIcon::nextFrame);
    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        m_tray = new QSystemTrayIcon(
            QApplication::windowIcon().isNull() ? m_frames.first() : QApplication::windowIcon(), this);
        m_tray->setToolTip(QStringLiteral("Tarsyn"));
        connect(m_tray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
            if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick) click();
        });
    }
}

void TrayIcon::setSecondaryWindows(const QList<QWidget*>& windows) {
    m_secondary.clear();
    for (QWidget* w : windows) m_secondary << QPointer<QWidget>(w);
}

bool TrayIcon::available() const { return m_tray != nullptr; }

void TrayIcon::startAnimation() {
    m_shown = true;
    m_frame = 0;
    if (m_tray) {
        m_tray->setIcon(m_frames.at(0));
        m_tray->show();
    }
    m_timer.start();
}

void TrayIcon::nextFrame() {
    m_frame = (m_frame + 1) % m_frames.size();
    if (m_tray) m_tray->setIcon(m_frames.at(m_frame));
}

void TrayIcon::click() {
    for (const QPointer<QWidget>& w : m_secondary)
        if (w && w->isVisible()) return;
    if (!m_mainWindow) return;
    if (m_mainWindow->isVisible())
        m_mainWindow->hide();
    else
        m_mainWindow->show();  // showing runs the settings check and the login again
}

QList<QIcon> TrayIcon::frames() {
    QList<QIcon> icons;
    for (int i = 0; i < 4; ++i) icons << QIcon(QPixmap::fromImage(picture(i, 32)));
    return icons;
}

QImage TrayIcon::picture(int frame, int size) {
    // A green disc with a sine wave (the alternator), its outer ring growing and fading from frame to
    // frame so the icon visibly "runs". Drawn on a 32-unit square scaled to the size asked for.
    constexpr qreal kUnits = 32;
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / kUnits, size / kUnits);
    QColor ring(0, 160, 60);
    ring.setAlpha(255 - frame * 55);
    p.setPen(QPen(ring, 2));
    p.setBrush(Qt::NoBrush);
    const qreal r = 10 + frame * 1.8;
    p.drawEllipse(QPointF(kUnits / 2, kUnits / 2), r, r);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 130, 50));
    p.drawEllipse(QPointF(kUnits / 2, kUnits / 2), 9, 9);
    QPainterPath wave;
    wave.moveTo(9, 16);
    wave.cubicTo(12, 9, 14, 9, 16, 16);
    wave.cubicTo(18, 23, 20, 23, 23, 16);
    p.setPen(QPen(Qt::white, 2));
    p.drawPath(wave);
    p.end();
    return image;
}

void TrayIcon::notify(const QString& title, const QString& text) {
    // A balloon needs its icon, which shows only after the login: before it nothing pops up.
    if (!m_tray || !m_shown) return;
    m_tray->showMessage(title, text, QSystemTrayIcon::Warning, 10000);
}

}  // namespace tarsyn::app
