#pragma once

#include <array>
#include <optional>

#include "config/Prompter.h"

namespace tarsyn::monitor {

/// What the operator has under way on a line besides the poll cycle, so that a remote command can be
/// refused instead of cutting in: a question box of a command, a page exchange, the alarm log, a
/// calibration. Counted (they may nest) on the line's thread, the one the station and its windows use.
class LineActivity {
public:
    enum class Kind { Answering, PageExchange, AlarmLog, Calibration, Exchange };
    static constexpr int kKinds = 5;

    void begin(Kind kind) { ++m_counts[size_t(kind)]; }
    void end(Kind kind) {
        if (m_counts[size_t(kind)] > 0) --m_counts[size_t(kind)];
    }
    /// The first activity under way, in the order of Kind; nullopt when the line is free.
    std::optional<Kind> current() const {
        for (int i = 0; i < kKinds; ++i)
            if (m_counts[size_t(i)] > 0) return Kind(i);
        return std::nullopt;
    }

private:
    std::array<int, kKinds> m_counts{};
};

/// An activity for the lifetime of this object.
class LineActivityScope {
public:
    LineActivityScope(LineActivity& activity, LineActivity::Kind kind) : m_activity(activity), m_kind(kind) {
        m_activity.begin(kind);
    }
    ~LineActivityScope() { m_activity.end(m_kind); }
    LineActivityScope(const LineActivityScope&) = delete;
    LineActivityScope& operator=(const LineActivityScope&) = delete;

private:
    LineActivity& m_activity;
    LineActivity::Kind m_kind;
};

/// The prompter of a line's commands: every question or input box it shows counts as the operator
/// answering (LineActivity::Kind::Answering) while it is open, so that a remote command that arrives
/// meanwhile (a modal box runs the event loop) is refused as busy.
class LinePrompter : public config::Prompter {
public:
    LinePrompter(config::Prompter& prompter, LineActivity& activity)
        : m_prompter(prompter), m_activity(activity) {}
    void information(const QString& text) override { m_prompter.information(text); }
    bool confirm(const QString& text) override {
        LineActivityScope open(m_activity, LineActivity::Kind::Answering);
        return m_prompter.confirm(text);
    }
    bool input(const QString& caption, const QString& prompt, QString& text) override {
        LineActivityScope open(m_activity, LineActivity::Kind::Answering);
        return m_prompter.input(caption, prompt, text);
    }
    void error(const QString& text) override { m_prompter.error(text); }

private:
    config::Prompter& m_prompter;
    LineActivity& m_activity;
};

}  // namespace tarsyn::monitor
