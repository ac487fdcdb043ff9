#include "app/PortDialog.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>
#include <algorithm>

#include "app/core/PortSelection.h"
#include "config/LiveSettings.h"
#include "monitor/LiveView.h"
#include "monitor/PollCycle.h"
#include "monitor/PortProblem.h"

namespace tarsyn::app {

int PollCyclePortTarget::PortIndex() const { return m_poll.PortIndex(); }
void PollCyclePortTarget::setPortIndex(int index) { m_poll.setPortIndex(index); }
link::SerialPort& PollCyclePortTarget::port() { return m_poll.port(); }
void PollCyclePortTarget::setConnectionIndicator(int image) { m_poll.setConnectionIndicator(image); }
void PollCyclePortTarget::setPollState(int state) { m_poll.setPollState(state); }
void PollCyclePortTarget::setRotationMode(bool on) { m_poll.setRotationMode(on); }
void PollCyclePortTarget::showFixedPort(const QString& portName, const QString& remark,
                                        const QString& notes) {
    m_view.setMode(m_messages.text(QStringLiteral("gdsb")), false);
    m_view.setEntryTexts(portName, remark, notes);
}
void PollCyclePortTarget::ClearLiveDisplay() { m_poll.ClearLiveDisplay(); }
void PollCyclePortTarget::showPortProblem(const QString& portName, const std::exception* error) {
    m_view.setPortProblem(error ? monitor::PortProblemText(m_messages, portName, *error) : QString());
}

PortDialog::PortDialog(PortSelection& logic, const config::Messages& messages, Translator translate,
                       QWidget* parent)
    : QDialog(parent), m_logic(logic), m_messages(messages), m_translate(std::move(translate)) {
    setObjectName(QStringLiteral("TForm11"));
    setModal(true);

    auto* caption = new QLabel(QStringLiteral("请选择指定串口号"), this);
    caption->setObjectName(QStringLiteral("lblzdck"));
    m_box = new QComboBox(this);
    m_box->setObjectName(QStringLiteral("cbbzdck"));
    m_box->setEditable(true);
    // A typed name is used as it is and never joins the list.
    m_box->setInsertPolicy(QComboBox::NoInsert);
    m_box->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    connect(m_box, &QComboBox::currentTextChanged, m_box, [this](const QString& t) { m_box->setToolTip(t); });
    auto* apply = new QPushButton(QStringLiteral("指定"), this);
    apply->setObjectName(QStringLiteral("btnzdck"));
    apply->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("取消"), this);
    cancel->setObjectName(QStringLiteral("btnqx"));
    cancel->setAutoDefault(false);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(apply);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(caption);
    layout->addWidget(m_box);
    layout->addLayout(buttons);

    connect(apply, &QPushButton::clicked, this, &PortDialog::applyPressed);
    // A blank name names no device: "指定" waits for one.
    connect(m_box, &QComboBox::editTextChanged, apply,
            [apply](const QString& text) { apply->setEnabled(!text.trimmed().isEmpty()); });
    apply->setEnabled(false);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    relabel();
}

void PortDialog::relabel() {
    if (m_translate) m_translate(this);
}

void PortDialog::prepare() {
    m_box->clear();
    const QStringList labels = m_logic.portLabels();
    m_box->addItems(labels);
    fitToLabels(labels);
    const int index = m_logic.initialSelection();
    m_box->setCurrentIndex(index);
    if (index < 0) m_box->setEditText(QString());
    setWindowTitle(m_messages.text(QStringLiteral("Form11caption")));
}

void PortDialog::fitToLabels(const QStringList& labels) {
    // Each entry is the controller's remark and its port; the box is as wide as the longest one, so
    // that neither is cut, within the screen. A longer entry is elided and shown whole as a tooltip.
    const QFontMetrics metrics(m_box->font());
    int widest = 0;
    for (int i = 0; i < labels.size(); ++i) {
        widest = std::max(widest, metrics.horizontalAdvance(labels.at(i)));
        m_box->setItemData(i, labels.at(i), Qt::ToolTipRole);
    }
    int limit = kMaxWidth;
    if (const QScreen* screen = this->screen())
        limit = std::min(limit, screen->availableGeometry().width() - 40);
    // Room for the arrow, the frame and the dialog's margins.
    constexpr int kChrome = 80;
    const int wanted = std::clamp(widest + kChrome, kMinWidth, limit);
    m_box->setMinimumWidth(wanted - 2 * layout()->contentsMargins().left());
    m_box->view()->setMinimumWidth(std::min(widest + 40, limit));
    m_box->setToolTip(m_box->currentText());
    resize(std::max(wanted, width()), sizeHint().height());
}

int PortDialog::runModal() {
    prepare();
    return exec();
}

void PortDialog::applyPressed() {
    const int entry = m_logic.entryFor(m_box->currentIndex(), m_box->currentText());
    if (m_logic.apply(entry, m_logic.portNameFor(m_box->currentIndex(), m_box->currentText())).isEmpty())
        return;  // blank: stays open
    accept();
}

}  // namespace tarsyn::app
