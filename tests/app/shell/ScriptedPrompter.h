#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include "config/Prompter.h"

namespace tarsyn::test {

/// A Prompter whose answers are scripted and whose every box is recorded as "kind:text"
/// ("info:wrong", "confirm:Exit?", "error:Unable to write…").
class ScriptedPrompter : public config::Prompter {
public:
    void information(const QString& text) override { shown << QStringLiteral("info:") + text; }
    bool confirm(const QString& text) override {
        shown << QStringLiteral("confirm:") + text;
        return answers.isEmpty() ? defaultAnswer : answers.takeFirst();
    }
    bool input(const QString& caption, const QString& prompt, QString& text) override {
        shown << QStringLiteral("input:") + caption + QLatin1Char('|') + prompt;
        if (inputs.isEmpty()) {
            text.clear();
            return false;
        }
        text = inputs.takeFirst();
        return true;
    }
    void error(const QString& text) override { shown << QStringLiteral("error:") + text; }

    QStringList shown;
    QList<bool> answers;  // confirm answers in order; then defaultAnswer
    bool defaultAnswer = false;
    QStringList inputs;
};

}  // namespace tarsyn::test
