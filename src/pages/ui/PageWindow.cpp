#include "pages/ui/PageWindow.h"

#include <QApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScopedValueRollback>
#include <QVBoxLayout>

#include "pages/FieldCodec.h"

namespace tarsyn::pages {

namespace {

// Design-time captions of a block's buttons; the catalogue keys them by name.
const char* const kButtonCaptions[] = {"从文件读", "向文件写", "从模块读", "向模块写", "取消设置"};

}  // namespace

PageWindow::PageWindow(const Page& page, const PageServices& services, Translator translate, QWidget* parent)
    : QDialog(parent), m_engine(page, *this, services), m_translate(std::move(translate)) {
    setObjectName(page.window);
    setWindowTitle(page.title);
    setModal(true);

    auto* layout = new QVBoxLayout(this);
    for (int b = 0; b < page.blocks.size(); ++b) layout->addWidget(buildBlock(page.blocks[b], b));
    for (int i = 0; i + 1 < page.notes.size(); i += 2) {
        auto* note = new QLabel(page.notes[i + 1], this);
        note->setObjectName(page.notes[i]);
        note->setWordWrap(true);
        layout->addWidget(note);
    }
    m_progress = new QProgressBar(this);
    m_progress->setObjectName(QStringLiteral("pb1"));
    m_progress->setTextVisible(false);
    m_progress->hide();
    layout->addWidget(m_progress);
    relabel();
}

QWidget* PageWindow::buildBlock(const Block& block, int index) {
    QWidget* box;
    if (block.group.isEmpty()) {
        box = new QWidget(this);
    } else {
        auto* group = new QGroupBox(block.groupCaption, this);
        group->setObjectName(block.group);
        m_captions.insert(block.group, group);  // names the block in messages
        box = group;
    }
    auto* outer = new QVBoxLayout(box);
    auto* grid = new QGridLayout;
    outer->addLayout(grid);
    int cell = 0;
    for (const Field& f : block.fields) {
        const int row = cell / block.columns;
        const int column = cell % block.columns;
        ++cell;
        if (f.kind == FieldKind::Bit) {
            // Each option in its own group box, so that its two radio buttons exclude each other.
            auto* group = new QGroupBox(f.caption, box);
            group->setObjectName(f.label);
            auto* radios = new QVBoxLayout(group);
            for (const auto& [name, caption] :
                 {std::pair{f.control, f.caption0}, std::pair{f.control1, f.caption1}}) {
                auto* radio = new QRadioButton(caption, group);
                radio->setObjectName(name);
                radios->addWidget(radio);
                m_radios.insert(name, radio);
                m_captions.insert(name, radio);
                connect(radio, &QRadioButton::toggled, this, [this, name = name] { operatorEdited(name); });
            }
            m_captions.insert(f.label, group);
            grid->addWidget(group, row, column);
            continue;
        }
        auto* label = new QLabel(f.caption, box);
        label->setObjectName(f.label);
        auto* edit = new QLineEdit(box);
        edit->setObjectName(f.control);
        label->setBuddy(edit);
        if (f.kind == FieldKind::Byte || f.kind == FieldKind::Word || f.kind == FieldKind::Hundredths ||
            f.kind == FieldKind::Tenths) {
            edit->setToolTip(FieldCodec::rangeLow(f) + QStringLiteral(" – ") + FieldCodec::rangeHigh(f));
            // Wide enough for the longest value ("655.35", "65535") with room to spare.
            edit->setMinimumWidth(edit->fontMetrics().horizontalAdvance(QStringLiteral("0000000000")));
        }
        // No length cap on a phone or a name: a longer text is refused at the write, naming the limit,
        // rather than cut while it is typed.
        connect(edit, &QLineEdit::textChanged, this, [this, name = f.control] { operatorEdited(name); });
        m_edits.insert(f.control, edit);
        m_captions.insert(f.label, label);
        grid->addWidget(label, row, 3 * column);
        grid->addWidget(edit, row, 3 * column + 1);
        if (!f.unitLabel.isEmpty()) {
            // The unit of the value the operator types, as the main window shows its reading.
            auto* unit = new QLabel(f.unitCaption, box);
            unit->setObjectName(f.unitLabel);
            grid->addWidget(unit, row, 3 * column + 2);
        }
    }
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    for (int role = kLoad; role <= kCancel; ++role) {
        auto* button = new QPushButton(QString::fromUtf8(kButtonCaptions[role - 1]), box);
        button->setObjectName(buttonName(index, role));
        button->setAutoDefault(false);
        connect(button, &QPushButton::clicked, this,
                [this, name = button->objectName()] { m_engine.press(name); });
        if (role == kRead || role == kWrite) m_readWrite << button;
        buttons->addWidget(button);
    }
    outer->addLayout(buttons);
    return box;
}

void PageWindow::relabel() {
    if (m_translate) m_translate(this);
}

int PageWindow::open(const QString& title) {
    setWindowTitle(m_engine.windowTitle(title));
    return exec();
}

void PageWindow::operatorEdited(const QString& control) {
    if (!m_filling) m_engine.edited(control);
}

QString PageWindow::text(const QString& control) const {
    const QLineEdit* edit = m_edits.value(control);
    return edit ? edit->text() : QString();
}

void PageWindow::setText(const QString& control, const QString& text) {
    const QScopedValueRollback filling(m_filling, true);
    if (QLineEdit* edit = m_edits.value(control)) edit->setText(text);
}

bool PageWindow::isChecked(const QString& radio) const {
    const QRadioButton* r = m_radios.value(radio);
    return r && r->isChecked();
}

void PageWindow::check(const QString& radio) {
    const QScopedValueRollback filling(m_filling, true);
    if (QRadioButton* r = m_radios.value(radio)) r->setChecked(true);
}

void PageWindow::uncheckPair(const QString& radio0, const QString& radio1) {
    const QScopedValueRollback filling(m_filling, true);
    // Exclusive buttons cannot all be off; the exclusion is lifted for the moment of clearing.
    for (const QString& name : {radio0, radio1}) {
        if (QRadioButton* r = m_radios.value(name)) {
            r->setAutoExclusive(false);
            r->setChecked(false);
            r->setAutoExclusive(true);
        }
    }
}

QString PageWindow::caption(const QString& label) const {
    QWidget* w = m_captions.value(label);
    if (auto* l = qobject_cast<QLabel*>(w)) return l->text();
    if (auto* g = qobject_cast<QGroupBox*>(w)) return g->title();
    if (auto* r = qobject_cast<QRadioButton*>(w)) return r->text();
    return label;
}

void PageWindow::focus(const QString& control) {
    if (QLineEdit* edit = m_edits.value(control)) {
        edit->setFocus();
        edit->selectAll();
    }
}

void PageWindow::setReadWriteEnabled(bool enabled) {
    for (QPushButton* b : m_readWrite) b->setEnabled(enabled);
}

void PageWindow::showProgress(int max) {
    m_progress->setRange(0, max);
    m_progress->setValue(0);
    m_progress->show();
}

void PageWindow::setProgress(int position) { m_progress->setValue(position); }

void PageWindow::hideProgress() { m_progress->hide(); }

void PageWindow::processEvents() { QCoreApplication::processEvents(); }

void PageWindow::closePage() { reject(); }

}  // namespace tarsyn::pages
