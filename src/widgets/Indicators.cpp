#include "widgets/Indicators.h"

#include <QPainter>

#include "widgets/MainWindowPictures.h"

namespace tarsyn::widgets {

const QHash<int, QString>& IndicatorCaptions() {
    static const QHash<int, QString> captions = {
        {1, "电压频率故障"},    {2, "超速/失速"},       {3, "低电池电压"},     {4, "低油压"},
        {5, "高水温"},          {6, "启动失败"},        {7, "过载"},           {8, "高油温/低油位"},
        {9, "紧急停机"},        {10, "自动状态"},       {11, "启动状态"},      {12, "远程状态"},
        {13, "供电状态"},       {14, "测试状态"},       {15, "复位状态"},      {16, "升降速失败"},
        {17, "降速限位"},       {18, "升速限位"},       {19, "高油温/低油位"}, {20, "高水温"},
        {21, "远程复位"},       {22, "远程启动"},       {23, "低油压"},        {25, "紧急停机"},
        {26, "降速(怠速常闭)"}, {27, "升速(怠速常开)"}, {28, "机组合闸"},      {29, "预供"},
        {30, "故障"},           {31, "供油"},           {33, "市电合闸"},      {34, "启动"},
    };
    return captions;
}

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
