#pragma once

#include <QHash>
#include <QString>
#include <QWidget>

namespace tarsyn::widgets {

/// The design-time captions of the 32 indicators by number (`zs1`…`zs34`; 24 and 32 are not used),
/// shown on the main window and on the report until the catalogue sets its own.
const QHash<int, QString>& IndicatorCaptions();

/// One status lamp (`zs1`…`zs34`): a 16x16 square whose picture index the poll cycle sets. Alarm
/// lamps show picture 1 red, the others green. Not a label, so the catalogue never writes over it.
class IndicatorLamp : public QWidget {
    Q_OBJECT
public:
    IndicatorLamp(const QString& objectName, bool alarmSet, QWidget* parent = nullptr);

    int image() const { return m_image; }
    void setImage(int image);
    bool alarmSet() const { return m_alarmSet; }
    QSize sizeHint() const override { return {16, 16}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool m_alarmSet;
    int m_image = 0;
};

}  // namespace tarsyn::widgets
