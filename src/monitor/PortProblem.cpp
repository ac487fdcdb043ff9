#include "monitor/PortProblem.h"

#include "config/LiveSettings.h"
#include "link/LinkError.h"

namespace tarsyn::monitor {

namespace {

struct ProblemText {
    const char* key;
    const char* english;  // when the catalogue has no such message
};

const ProblemText kDenied{"portdenied",
                          "cannot open %1: permission denied - is the user in the dialout group?"};
const ProblemText kMissing{"portmissing", "cannot open %1: no such device - is the adapter plugged in?"};
const ProblemText kBusy{"portbusy", "cannot open %1: in use by another program"};
const ProblemText kFailed{"portfailed", "cannot open %1: %2"};

QString text(const config::Messages& messages, const ProblemText& which) {
    const QString t = messages.text(QLatin1String(which.key));
    return t == QLatin1String("0") ? QString::fromUtf8(which.english) : t;
}

}  // namespace

QString PortProblemText(const config::Messages& messages, const QString& portName,
                        const std::exception& error) {
    using Reason = link::PortOpenError::Reason;
    if (const auto* open = dynamic_cast<const link::PortOpenError*>(&error)) {
        switch (open->reason()) {
            case Reason::PermissionDenied:
                return text(messages, kDenied).arg(open->device());
            case Reason::NoSuchDevice:
                return text(messages, kMissing).arg(open->device());
            case Reason::InUse:
                return text(messages, kBusy).arg(open->device());
            case Reason::Other:
                return text(messages, kFailed).arg(open->device(), open->systemText());
        }
    }
    const auto* link = dynamic_cast<const link::LinkError*>(&error);
    return text(messages, kFailed).arg(portName, link ? link->message() : QString::fromUtf8(error.what()));
}

}  // namespace tarsyn::monitor
