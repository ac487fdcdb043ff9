#pragma once

#include <QHash>
#include <QSet>
#include <QStringList>
#include <functional>

#include "pages/PageTable.h"
#include "pages/PageView.h"

namespace tarsyn::test {

/// The controls of a page without a screen: edit texts, radio pairs (from the page's table), the
/// read and write buttons' state, pb1 and every turn of the event loop. `type` and `click` are the
/// operator's edits and are reported to `onEdit`; the engine's own changes are not.
class FakePageView : public pages::PageView {
public:
    explicit FakePageView(const pages::Page& page) {
        for (const pages::Block& b : page.blocks) {
            if (!b.group.isEmpty()) m_captions[b.group] = b.groupCaption;
            for (const pages::Field& f : b.fields) {
                m_captions[f.label] = f.caption;
                if (!f.unitLabel.isEmpty()) m_captions[f.unitLabel] = f.unitCaption;
                if (f.kind == pages::FieldKind::Bit) {
                    m_partner[f.control] = f.control1;
                    m_partner[f.control1] = f.control;
                    m_captions[f.control] = f.caption0;
                    m_captions[f.control1] = f.caption1;
                }
            }
        }
    }

    /// The operator types `t` into an edit field.
    void type(const QString& control, const QString& t) {
        texts[control] = t;
        if (onEdit) onEdit(control);
    }
    /// The operator clicks a radio button.
    void click(const QString& radio) {
        check(radio);
        if (onEdit) onEdit(radio);
    }

    QString text(const QString& control) const override { return texts.value(control); }
    void setText(const QString& control, const QString& t) override { texts[control] = t; }
    bool isChecked(const QString& radio) const override { return checked.contains(radio); }
    void check(const QString& radio) override {
        checked.remove(m_partner.value(radio));
        checked.insert(radio);
    }
    void uncheckPair(const QString& a, const QString& b) override {
        checked.remove(a);
        checked.remove(b);
    }
    QString caption(const QString& label) const override { return m_captions.value(label); }
    void focus(const QString& control) override { focused = control; }
    void setReadWriteEnabled(bool enabled) override {
        readWriteEnabled = enabled;
        enabledLog << enabled;
    }
    void showProgress(int max) override {
        progressVisible = true;
        progressMax = max;
        progress = 0;
        progressLog.clear();
    }
    void setProgress(int position) override {
        progress = position;
        progressLog << position;
    }
    void hideProgress() override { progressVisible = false; }
    void processEvents() override {
        ++eventTurns;
        if (duringEvents) duringEvents();
    }
    void closePage() override { closed = true; }

    QHash<QString, QString> texts;
    QSet<QString> checked;
    QString focused;
    bool readWriteEnabled = true;
    QList<bool> enabledLog;
    bool progressVisible = false;
    int progressMax = -1;
    int progress = -1;
    QList<int> progressLog;
    int eventTurns = 0;
    bool closed = false;
    std::function<void()> duringEvents;          ///< what the operator does while an exchange runs
    std::function<void(const QString&)> onEdit;  ///< told of every edit of the operator's

private:
    QHash<QString, QString> m_captions;
    QHash<QString, QString> m_partner;
};

}  // namespace tarsyn::test
