#pragma once

#include <QDialog>
#include <QHash>
#include <functional>

#include "pages/PageEngine.h"
#include "pages/PageView.h"

class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;

namespace tarsyn::pages {

/// A parameter page window (`TForm6`…`TForm10`, `Tgsm`): lays out its page table (a row of five
/// buttons per block, the fields in their group boxes, `pb1` under them) and binds the controls to
/// the page engine. Created once; shown modally from its menu command.
class PageWindow : public QDialog, public PageView {
    Q_OBJECT
public:
    /// Applies the catalogue's control texts to a window (the classes of its kind).
    using Translator = std::function<void(QWidget*)>;

    PageWindow(const Page& page, const PageServices& services, Translator translate = {},
               QWidget* parent = nullptr);

    const Page& page() const { return m_engine.page(); }
    PageEngine& engine() { return m_engine; }

    /// Catalogue texts (creation and language hot key).
    void relabel();
    /// Sets the title (naming the controller the page acts on) and shows the page modally.
    int open(const QString& title);

    // PageView
    QString text(const QString& control) const override;
    void setText(const QString& control, const QString& text) override;
    bool isChecked(const QString& radio) const override;
    void check(const QString& radio) override;
    void uncheckPair(const QString& radio0, const QString& radio1) override;
    QString caption(const QString& label) const override;
    void focus(const QString& control) override;
    void setReadWriteEnabled(bool enabled) override;
    void showProgress(int max) override;
    void setProgress(int position) override;
    void hideProgress() override;
    void processEvents() override;
    void closePage() override;

private:
    QWidget* buildBlock(const Block& block, int index);
    /// Tells the engine that the operator changed a control, unless the engine itself is filling it.
    void operatorEdited(const QString& control);

    PageEngine m_engine;
    Translator m_translate;
    QHash<QString, QLineEdit*> m_edits;
    QHash<QString, QRadioButton*> m_radios;
    QHash<QString, QWidget*> m_captions;  // labels, group boxes and radio buttons naming fields
    QList<QPushButton*> m_readWrite;
    QProgressBar* m_progress = nullptr;
    bool m_filling = false;  // the engine is setting controls: not the operator's edit
};

}  // namespace tarsyn::pages
