#include "app/AboutBox.h"

#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/TrayIcon.h"
#include "config/LiveSettings.h"

namespace tarsyn::app {

AboutBox::AboutBox(const config::Messages& messages, QWidget* parent)
    : QDialog(parent), m_messages(messages) {
    setObjectName(QStringLiteral("TForm3"));
    setWindowTitle(QStringLiteral("About"));
    setModal(false);
    auto* group = new QGroupBox(this);
    group->setObjectName(QStringLiteral("GroupBox1"));
    auto* picture = new QLabel(group);
    picture->setObjectName(QStringLiteral("Image1"));
    picture->setPixmap(TrayIcon::frames().value(0).pixmap(64, 64));
    auto* lines = new QVBoxLayout;
    const char* designTexts[4] = {"V 3.0", "", "", ""};
    for (int i = 0; i < 4; ++i) {
        m_lines[i] = new QLabel(QString::fromLatin1(designTexts[i]), group);
        m_lines[i]->setObjectName(QStringLiteral("lblgy%1").arg(i + 1));
        lines->addWidget(m_lines[i]);
    }
    auto* row = new QHBoxLayout(group);
    row->addWidget(picture, 0, Qt::AlignTop);
    row->addLayout(lines, 1);
    auto* core = m_core = new QLabel(QStringLiteral("Core：V3"), this);
    core->setObjectName(QStringLiteral("Label1"));
    core->setEnabled(false);
    auto* ok = m_ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("OKButton"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addWidget(core);
    layout->addWidget(ok, 0, Qt::AlignHCenter);
    setMinimumWidth(360);
    showButtonText();
}

namespace {
const char* const kLineKeys[4] = {"dl14", "dl15", "dl16", "dl17"};
}

void AboutBox::open() {
    setWindowTitle(m_messages.text(QStringLiteral("Form3caption")));
    const QString first = m_messages.text(QString::fromLatin1(kLineKeys[0]));
    if (first != QStringLiteral("0")) m_lines[0]->setText(first);
    for (int i = 1; i < 4; ++i) m_lines[i]->setText(m_messages.text(QString::fromLatin1(kLineKeys[i])));
    showButtonText();
    show();
    raise();
    activateWindow();
}

void AboutBox::relabel() {
    setWindowTitle(m_messages.text(QStringLiteral("Form3caption")));
    for (int i = 0; i < 4; ++i) m_lines[i]->setText(m_messages.text(QString::fromLatin1(kLineKeys[i])));
    showButtonText();
}

void AboutBox::showButtonText() {
    // The button and the core line speak the operator's language too; a catalogue without the key
    // keeps the design text.
    const QString text = m_messages.text(QStringLiteral("gyok"));
    if (text != QLatin1String("0")) m_ok->setText(text);
    const QString core = m_messages.text(QStringLiteral("gycore"));
    if (core != QLatin1String("0")) m_core->setText(core);
}

QString AboutBox::line(int number) const { return m_lines[number - 1]->text(); }

}  // namespace tarsyn::app
