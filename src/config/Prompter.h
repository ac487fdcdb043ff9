#pragma once

#include <QString>

namespace tarsyn::config {

/// Message and input boxes, so that logic can ask the operator without owning a widget.
/// The program shows real dialogs titled "Tarsyn"; tests script the answers.
class Prompter {
public:
    virtual ~Prompter() = default;
    /// A plain information box with an OK button.
    virtual void information(const QString& text) = 0;
    /// A confirmation with Yes and No; true only for Yes.
    virtual bool confirm(const QString& text) = 0;
    /// A one-line input box; false on Cancel (then `text` is left empty).
    virtual bool input(const QString& caption, const QString& prompt, QString& text) = 0;
    /// The standard error box for a failure that ended an operation.
    virtual void error(const QString& text) = 0;
};

}  // namespace tarsyn::config
