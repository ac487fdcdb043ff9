#pragma once

#include <QByteArray>
#include <QString>

#include "ControllerMemory.h"
#include "EngineModel.h"

namespace tarsyn::sim {

/// What the controller does with one request line: the reply, or the reason it stays silent.
struct Reply {
    bool answered = false;
    QByteArray text;  // with its CR LF
    QString reason;   // why there is no answer (for --verbose and tests)
};

/// Serves request lines ("00" function fields check, without the line end) from the memory:
/// 04 block read, 05 command, 06 single write, 07 word write. A wrong check, a bad length, a
/// character that is not an upper-case hexadecimal digit, another station, an address range beyond
/// the 1024 bytes, an unknown command or an unknown function gets no answer, like the real device.
class RequestHandler {
public:
    RequestHandler(ControllerMemory& memory, EngineModel& engine) : m_memory(memory), m_engine(engine) {}

    Reply handle(const QByteArray& line);

private:
    Reply blockRead(const QString& text);
    Reply command(const QString& text, const QByteArray& line);
    Reply wordWrite(const QString& text, const QByteArray& line);
    Reply singleWrite(const QString& text, const QByteArray& line);

    ControllerMemory& m_memory;
    EngineModel& m_engine;
};

/// Cuts the bytes arriving on the line into request lines ended by LF (a CR before it is dropped).
/// A line growing past kMaxLine without an end is noise: it is thrown away up to its LF.
class LineBuffer {
public:
    static constexpr int kMaxLine = 256;
    QList<QByteArray> feed(const QByteArray& bytes);

private:
    QByteArray m_pending;
    bool m_discarding = false;
};

}  // namespace tarsyn::sim
