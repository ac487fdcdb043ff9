#pragma once

#include <QDateTime>

namespace tarsyn::link {

/// Source of "now"; the program uses the wall clock, tests a fake they move by hand.
class Clock {
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;
};

/// Blocking waits (the controller needs time to answer); tests record them instead of sleeping.
class Sleeper {
public:
    virtual ~Sleeper() = default;
    virtual void sleep(int milliseconds) = 0;
};

/// The local wall clock.
class SystemClock : public Clock {
public:
    QDateTime now() const override { return QDateTime::currentDateTime(); }
};

/// Sleeps the calling thread; no events are processed meanwhile.
class ThreadSleeper : public Sleeper {
public:
    void sleep(int milliseconds) override;
};

}  // namespace tarsyn::link
