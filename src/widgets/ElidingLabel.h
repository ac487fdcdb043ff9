#pragma once

#include <QLabel>

namespace tarsyn::widgets {

/// A one-line label that never asks for more room than a few characters: a text wider than the
/// room it gets is drawn cut with "…", and the whole text is its tooltip. `text()` stays the whole
/// text, so whatever reads the label (the recorder's device name, the report's entry) is unaffected.
class ElidingLabel : public QLabel {
    Q_OBJECT
public:
    explicit ElidingLabel(QWidget* parent = nullptr);

    /// Sets the text and, as its tooltip, the same text (a short text shows whole anyway).
    void setFullText(const QString& text);
    /// True when the text is wider than the label and drawn cut.
    bool isElided() const;
    /// How many characters the label keeps at least before it cuts (a short text needs less): the
    /// texts that matter most give way last.
    void setMinimumCharacters(int count);

    QSize minimumSizeHint() const override;
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int m_minimumCharacters = 4;
};

}  // namespace tarsyn::widgets
