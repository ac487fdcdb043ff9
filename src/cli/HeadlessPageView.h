#pragma once

#include <QHash>
#include <QSet>
#include <QString>
#include <functional>

#include "pages/PageTable.h"
#include "pages/PageView.h"

namespace tarsyn::config {
class IniSection;
}

namespace tarsyn::cli {

/// A parameter page without a window: the control texts and radio states in memory, the captions
/// from the catalogue's "Translations" (the table's design-time captions where it has none), and the
/// progress bar reported to a callback (position -1 when it hides).
class HeadlessPageView : public pages::PageView {
public:
    using Progress = std::function<void(int position, int maximum)>;

    HeadlessPageView(const pages::Page& page, const config::IniSection& translations, Progress progress = {});

    QString text(const QString& control) const override { return m_texts.value(control); }
    void setText(const QString& control, const QString& text) override;
    bool isChecked(const QString& radio) const override { return m_checked.contains(radio); }
    void check(const QString& radio) override;
    void uncheckPair(const QString& radio0, const QString& radio1) override;
    QString caption(const QString& label) const override { return m_captions.value(label, label); }
    void focus(const QString&) override {}
    void setReadWriteEnabled(bool) override {}
    void showProgress(int max) override;
    void setProgress(int position) override;
    void hideProgress() override;
    void processEvents() override {}
    void closePage() override {}

    /// How many controls the engine has filled so far: a load that filled nothing was refused.
    int changes() const { return m_changes; }

private:
    QHash<QString, QString> m_texts;
    QSet<QString> m_checked;
    QHash<QString, QString> m_partner;  // radio button -> the other one of its pair
    QHash<QString, QString> m_captions;
    Progress m_progress;
    int m_maximum = 0;
    int m_changes = 0;
};

}  // namespace tarsyn::cli
