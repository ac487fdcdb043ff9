#include "widgets/Indicators.h"

#include <QPainter>

#include "widgets/MainWindowPictures.h"

namespace tarsyn::widgets {

IndicatorLamp::IndicatorLamp(const QString& objectName, bool alarmSet, QWidget* parent)
    : QWidget(parent), m_alarmSet(alarmSet) {
    setObjectName(objectName);
    setFixedSize(16, 16);
}

void IndicatorLamp::setImage(int image) {
    if (image == m_image) return;
    m_image = image;
    update();
}

void IndicatorLamp::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.drawPixmap(0, 0, MainWindowPictures::indicator(m_image, m_alarmSet));
}

}  // namespace tarsyn::widgets
