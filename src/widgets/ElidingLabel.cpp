#include "widgets/ElidingLabel.h"

#include <QPainter>
#include <QStyle>

namespace tarsyn::widgets {

ElidingLabel::ElidingLabel(QWidget* parent) : QLabel(parent) {
    setWordWrap(false);
    setTextFormat(Qt::PlainText);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
}

void ElidingLabel::setFullText(const QString& text) {
    setText(text);
    setToolTip(text);
}

void ElidingLabel::setMinimumCharacters(int count) {
    m_minimumCharacters = count;
    updateGeometry();
}

bool ElidingLabel::isElided() const {
    return fontMetrics().horizontalAdvance(text()) > contentsRect().width();
}

QSize ElidingLabel::minimumSizeHint() const {
    const QSize whole = QLabel::minimumSizeHint();
    const int margins = contentsMargins().left() + contentsMargins().right() + 2 * margin();
    // A cut text keeps a few characters and the ellipsis, so the operator sees that something is
    // there and can hover for the rest.
    const int least = fontMetrics().averageCharWidth() * m_minimumCharacters +
                      fontMetrics().horizontalAdvance(QChar(0x2026)) + margins;
    return {qMin(whole.width(), least), qMax(whole.height(), QLabel::sizeHint().height())};
}

QSize ElidingLabel::sizeHint() const {
    // As high as the label's own minimum: one line of mixed Latin and Chinese text may need a pixel
    // more than the plain size hint gives.
    const QSize whole = QLabel::sizeHint();
    return {whole.width(), qMax(whole.height(), QLabel::minimumSizeHint().height())};
}

void ElidingLabel::paintEvent(QPaintEvent* event) {
    if (!isElided()) {
        QLabel::paintEvent(event);
        return;
    }
    QPainter painter(this);
    const QRect room = contentsRect().adjusted(margin(), margin(), -margin(), -margin());
    const QString shown = fontMetrics().elidedText(text(), Qt::ElideRight, room.width());
    style()->drawItemText(&painter, room, int(alignment()) | Qt::TextSingleLine, palette(), isEnabled(),
                          shown, foregroundRole());
}

}  // namespace tarsyn::widgets
