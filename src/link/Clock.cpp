#include "link/Clock.h"

#include <QThread>

namespace tarsyn::link {

void ThreadSleeper::sleep(int milliseconds) {
    if (milliseconds > 0) QThread::msleep(static_cast<unsigned long>(milliseconds));
}

}  // namespace tarsyn::link
