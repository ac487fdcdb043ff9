#include "widgets/ElidingLabel.h"

#include <QPainter>
#include <QStyle>

namespace tarsyn::widgets {

namespace {
// What a cut text keeps at least: a few characters and the ellipsis, so the operator sees that
// something is there and can hover for the rest.
const QString kMinimumSample = QStringLiteral("MMMM\u2026");
}  // namespace

ElidingLabel::ElidingLabel(QWidget* parent) : QLabel(parent) {
    setWordWrap(false);
    setTextFormat(Qt::PlainText);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
}

void ElidingLabel::setFullText(const QString& text) {
    setText(text);
    setToolTip(text);
}

bool ElidingLabel::isElided() const {
    return fontMetrics().horizontalAdvance(text()) > contentsRect().width();
}

QSize ElidingLabel::minimumSizeHint() const {
    const QSize whole = QLabel::minimumSizeHint();
    const int margins = contentsMargins().left() + contentsMargins().right() + 2 * margin();
    const int least = fontMetrics().horizontalAdvance(kMinimumSample) + margins;
    return {qMin(whole.width(), least), whole.height()};
}

QSize ElidingLabel::sizeHint() const { return QLabel::sizeHint(); }

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
