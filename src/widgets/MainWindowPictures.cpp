#include "widgets/MainWindowPictures.h"

#include <QPainter>
#include <QPainterPath>
#include <QtMath>

namespace tarsyn::widgets::MainWindowPictures {

namespace {

constexpr int kIconSize = 32;

const QColor kWhite(250, 250, 250);
const QColor kRed(214, 40, 40);
const QColor kGreen(46, 160, 67);
const QColor kBlue(41, 98, 180);
const QColor kAmber(224, 150, 20);
const QColor kGrey(96, 104, 112);

template <typename Draw>
QIcon drawn(Draw&& draw) {
    QPixmap pm(kIconSize, kIconSize);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    draw(p);
    p.end();
    return QIcon(pm);
}

void disc(QPainter& p, const QColor& c) {
    p.setPen(QPen(c.darker(130), 1.5));
    p.setBrush(c);
    p.drawEllipse(QRectF(2, 2, 28, 28));
}

// A plug seen from the side: body on the left, two pins to the right.
void plug(QPainter& p, const QColor& c, bool broken) {
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawRoundedRect(QRectF(3, 9, 12, 14), 2, 2);
    p.drawRect(QRectF(0, 14, 4, 4));
    p.drawRect(QRectF(15, 11, 6, 3));
    p.drawRect(QRectF(15, 18, 6, 3));
    if (broken) {
        p.setPen(QPen(kRed, 3, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(23, 9), QPointF(31, 17));
        p.drawLine(QPointF(31, 9), QPointF(23, 17));
    } else {
        p.setPen(QPen(kGreen, 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPolyline(QPolygonF{QPointF(22, 24), QPointF(25, 28), QPointF(31, 19)});
    }
}

void arrowHead(QPainter& p, QPointF tip, qreal angleDeg, const QColor& c) {
    const qreal a = qDegreesToRadians(angleDeg);
    const QPointF dir(qCos(a), -qSin(a));
    const QPointF side(-dir.y(), dir.x());
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawPolygon(QPolygonF{tip, tip - dir * 7 + side * 5, tip - dir * 7 - side * 5});
}

}  // namespace

QPixmap indicator(int image, bool alarmSet) {
    QColor fill = kWhite;
    if (image == 1) fill = alarmSet ? kRed : kGreen;
    if (image == 2) fill = kGreen;
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient g(0, 0, 0, 16);
    g.setColorAt(0, fill.lighter(125));
    g.setColorAt(1, fill);
    p.setBrush(g);
    p.setPen(QPen(QColor(110, 110, 110), 1));
    p.drawRoundedRect(QRectF(1.5, 1.5, 13, 13), 2.5, 2.5);
    return pm;
}

QIcon connection(int image) {
    const bool linked = image == 7;
    return drawn([&](QPainter& p) { plug(p, linked ? kGreen.darker(115) : kGrey, !linked); });
}

QIcon mode(int image) {
    if (image == 0) {
        return drawn([](QPainter& p) {
            p.setBrush(Qt::NoBrush);
            p.setPen(QPen(kBlue, 3, Qt::SolidLine, Qt::FlatCap));
            const QRectF r(6, 6, 20, 20);
            p.drawArc(r, 100 * 16, 150 * 16);
            p.drawArc(r, 280 * 16, 150 * 16);
            arrowHead(p, QPointF(7.5, 22.5), -80, kBlue);
            arrowHead(p, QPointF(24.5, 9.5), 100, kBlue);
        });
    }
    return drawn([](QPainter& p) {
        // A map pin: one fixed place.
        QPainterPath pin;
        pin.moveTo(16, 30);
        pin.cubicTo(9, 20, 6, 16, 6, 12);
        pin.arcTo(QRectF(6, 2, 20, 20), 180, -180);
        pin.cubicTo(26, 16, 23, 20, 16, 30);
        p.setPen(QPen(kBlue.darker(130), 1.2));
        p.setBrush(kBlue);
        p.drawPath(pin);
        p.setBrush(kWhite);
        p.setPen(Qt::NoPen);
        p.drawEllipse(QPointF(16, 12), 4, 4);
    });
}

QIcon tool(Tool which) {
    return drawn([which](QPainter& p) {
        switch (which) {
            case Tool::Start:
                disc(p, kGreen);
                p.setPen(Qt::NoPen);
                p.setBrush(kWhite);
                p.drawPolygon(QPolygonF{QPointF(12, 9), QPointF(24, 16), QPointF(12, 23)});
                break;
            case Tool::Auto:
            case Tool::Test: {
                disc(p, which == Tool::Auto ? kBlue : kAmber);
                QFont f = p.font();
                f.setBold(true);
                f.setPixelSize(17);
                p.setFont(f);
                p.setPen(kWhite);
                p.drawText(QRectF(2, 2, 28, 28), Qt::AlignCenter, which == Tool::Auto ? "A" : "T");
                break;
            }
            case Tool::Reset:
                disc(p, kRed);
                p.setPen(Qt::NoPen);
                p.setBrush(kWhite);
                p.drawRect(QRectF(11, 11, 10, 10));
                break;
            case Tool::Restore:
                p.setBrush(Qt::NoBrush);
                p.setPen(QPen(kGrey, 3, Qt::SolidLine, Qt::FlatCap));
                p.drawArc(QRectF(5, 5, 22, 22), 120 * 16, 270 * 16);
                arrowHead(p, QPointF(9.5, 8), 150, kGrey);
                p.setBrush(kGrey);
                p.setPen(Qt::NoPen);
                p.drawEllipse(QPointF(16, 16), 3, 3);
                break;
            case Tool::Port:
                p.setPen(QPen(kGrey.darker(120), 1.5));
                p.setBrush(QColor(200, 205, 210));
                p.drawPolygon(QPolygonF{QPointF(3, 10), QPointF(29, 10), QPointF(25, 23), QPointF(7, 23)});
                p.setBrush(kGrey.darker(120));
                p.setPen(Qt::NoPen);
                for (int i = 0; i < 5; ++i) p.drawEllipse(QPointF(8 + i * 4, 14), 1.3, 1.3);
                for (int i = 0; i < 4; ++i) p.drawEllipse(QPointF(10 + i * 4, 19), 1.3, 1.3);
                break;
            case Tool::Settings: {
                p.translate(16, 16);
                p.setPen(Qt::NoPen);
                p.setBrush(kGrey);
                for (int i = 0; i < 8; ++i) {
                    p.drawRect(QRectF(-2.5, -14, 5, 7));
                    p.rotate(45);
                }
                p.drawEllipse(QPointF(0, 0), 10, 10);
                p.setBrush(kWhite);
                p.drawEllipse(QPointF(0, 0), 4, 4);
                break;
            }
            case Tool::Exit:
                p.setBrush(Qt::NoBrush);
                p.setPen(QPen(kRed, 3, Qt::SolidLine, Qt::RoundCap));
                p.drawArc(QRectF(6, 7, 20, 20), 125 * 16, -250 * 16);
                p.drawLine(QPointF(16, 3), QPointF(16, 15));
                break;
        }
    });
}

}  // namespace tarsyn::widgets::MainWindowPictures
