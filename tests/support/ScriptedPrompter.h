#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

#include "config/Prompter.h"

namespace tarsyn::test {

/// A Prompter whose answers are scripted and whose every box is recorded as "kind:text"
/// ("info:wrong", "confirm:Exit?", "input:caption|prompt", "error:Unable to write…"). `whileOpen`, when
/// set, runs inside every box, as a real box's modal loop runs timer ticks.
class ScriptedPrompter : public config::Prompter {
public:
    void information(const QString& text) override { record(QStringLiteral("info:") + text); }
    bool confirm(const QString& text) override {
        record(QStringLiteral("confirm:") + text);
        return answers.isEmpty() ? defaultAnswer : answers.takeFirst();
    }
    bool input(const QString& caption, const QString& prompt, QString& text) override {
        record(QStringLiteral("input:") + caption + QLatin1Char('|') + prompt);
        if (inputs.isEmpty()) {
            text.clear();
            return false;
        }
        text = inputs.takeFirst();
        return true;
    }
    void error(const QString& text) override { record(QStringLiteral("error:") + text); }

    /// The texts of the boxes of one kind ("info", "confirm", "input", "error"), in order.
    QStringList of(const QString& kind) const {
        QStringList texts;
        const QString prefix = kind + QLatin1Char(':');
        for (const QString& s : shown)
            if (s.startsWith(prefix)) texts << s.mid(prefix.size());
        return texts;
    }

    QStringList shown;
    QList<bool> answers;  // confirm answers in order; then defaultAnswer
    bool defaultAnswer = false;
    QStringList inputs;  // input answers in order (each accepted); none left: Cancel
    std::function<void()> whileOpen;

private:
    void record(const QString& box) {
        shown << box;
        if (whileOpen) whileOpen();
    }
};

}  // namespace tarsyn::test
