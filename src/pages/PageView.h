#pragma once

#include <QString>

namespace tarsyn::pages {

/// What the page engine needs of a page window: its controls by objectName, the read and write
/// buttons, the progress bar `pb1`, a turn of the event loop and closing. The window implements it;
/// tests use a plain fake.
class PageView {
public:
    virtual ~PageView() = default;

    /// An edit field's text.
    virtual QString text(const QString& control) const = 0;
    virtual void setText(const QString& control, const QString& text) = 0;
    /// A radio button.
    virtual bool isChecked(const QString& radio) const = 0;
    /// Checks one radio button of a pair (the other unchecks).
    virtual void check(const QString& radio) = 0;
    /// Unchecks both radio buttons of a pair.
    virtual void uncheckPair(const QString& radio0, const QString& radio1) = 0;
    /// A label's (or group box's) current, translated text: it names a field in a refusal.
    virtual QString caption(const QString& label) const = 0;
    /// Gives the keyboard focus to a control (the field a refusal names).
    virtual void focus(const QString& control) = 0;

    /// Enables or disables the read and write buttons of every block.
    virtual void setReadWriteEnabled(bool enabled) = 0;
    /// `pb1`: range 0..max and position 0, shown; moved; hidden.
    virtual void showProgress(int max) = 0;
    virtual void setProgress(int position) = 0;
    virtual void hideProgress() = 0;
    /// Lets pending user-interface events run, so the window stays responsive during an exchange.
    virtual void processEvents() = 0;
    /// Closes (hides) the page.
    virtual void closePage() = 0;
};

}  // namespace tarsyn::pages
