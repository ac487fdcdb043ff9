#include "app/PortDialog.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "config/LiveSettings.h"
#include "app/core/PortSelection.h"
#include "monitor/LiveView.h"
#include "monitor/PollCycle.h"

namespace tarsyn::app {

int PollCyclePortTarget::PortIndex() const { return m_poll.PortIndex(); }
void PollCyclePortTarget::setPortIndex(int index) { m_poll.setPortIndex(index); }
link::SerialPort& PollCyclePortTarget::port() { return m_poll.port(); }
void PollCyclePortTarget::setConnectionIndicator(int image) { m_poll.setConnectionIndicator(image); }
void PollCyclePortTarget::setPollState(int state) { m_poll.setPollState(state); }
void PollCyclePortTarget::setRotationMode(bool on) { m_poll.setRotationMode(on); }
void PollCyclePortTarget::showFixedPort(const QString& portName) {
    m_view.setMode(m_messages.text(QStringLiteral("gdsb")), false);
    m_view.setPortText(portName);
}
void PollCyclePortTarget::ClearLiveDisplay() { m_poll.ClearLiveDisplay(); }

PortDialog::PortDialog(PortSelection& logic, const config::Messages& messages, Translator translate, QWidget* parent)
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
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    relabel();
}

void PortDialog::relabel() {
    if (m_translate) m_translate(this);
}

void PortDialog::prepare() {
    m_box->clear();
    m_box->addItems(m_logic.portLabels());
    const int index = m_logic.initialSelection();
    m_box->setCurrentIndex(index);
    if (index < 0) m_box->setEditText(QString());
    setWindowTitle(m_messages.text(QStringLiteral("Form11caption")));
}

int PortDialog::runModal() {
    prepare();
    return exec();
}

void PortDialog::applyPressed() {
    m_logic.apply(m_box->currentIndex(), m_logic.portNameFor(m_box->currentIndex(), m_box->currentText()));
    accept();
}

}  // namespace tarsyn::app
