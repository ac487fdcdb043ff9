#include "fleet/FrameLog.h"

#include "config/CsvWriter.h"
#include "config/LiveSettings.h"

namespace tarsyn::fleet {

namespace {

struct VerdictText {
    link::ReplyVerdict verdict;
    const char* key;
};
constexpr VerdictText kVerdicts[] = {
    {link::ReplyVerdict::Ok, "dgvok"},
    {link::ReplyVerdict::NoReply, "dgvnone"},
    {link::ReplyVerdict::NotHex, "dgvnothex"},
    {link::ReplyVerdict::WrongStation, "dgvstation"},
    {link::ReplyVerdict::WrongFunction, "dgvfunction"},
    {link::ReplyVerdict::WrongCount, "dgvcount"},
    {link::ReplyVerdict::WrongEcho, "dgvecho"},
    {link::ReplyVerdict::Short, "dgvshort"},
    {link::ReplyVerdict::BadCheck, "dgvcheck"},
    {link::ReplyVerdict::BadEnd, "dgvend"},
    {link::ReplyVerdict::Trailing, "dgvtrailing"},
    {link::ReplyVerdict::OutOfRange, "dgvrange"},
};

}  // namespace

FrameLog::FrameLog(const config::Config& config, const config::LiveSettings& settings, QObject* parent)
    : QAbstractTableModel(parent), m_config(config), m_settings(settings) {
    setObjectName(QStringLiteral("frameLog"));
    relabel();
}

FrameLog::~FrameLog() { attach(nullptr); }

void FrameLog::attach(link::LinkMeter* meter) {
    if (m_meter && m_meter->frameListener() == this) m_meter->setFrameListener(nullptr);
    m_meter = meter;
    if (m_meter) m_meter->setFrameListener(this);
}

void FrameLog::relabel() {
    m_messages =
        m_config.readSection(m_settings.language() + QStringLiteral(".lag"), QStringLiteral("Messages"));
    emit headerDataChanged(Qt::Horizontal, 0, ColumnCount - 1);
    if (!m_shown.empty()) emit dataChanged(index(0, 0), index(rowCount() - 1, ColumnCount - 1));
}

void FrameLog::setKindShown(link::FrameKind kind, bool shown) {
    if (m_shownKinds[size_t(kind)] == shown) return;
    m_shownKinds[size_t(kind)] = shown;
    rebuildShown();
}

void FrameLog::rebuildShown() {
    beginResetModel();
    m_shown.clear();
    for (const link::FrameRecord& f : m_all)
        if (kindShown(f.kind)) m_shown.push_back(f);
    endResetModel();
}

void FrameLog::frameSeen(const link::FrameRecord& frame) {
    if (m_paused) return;
    if (m_all.size() >= size_t(kCapacity)) {
        // The shown rows are the kept ones of a shown kind in the same order: the oldest kept frame,
        // when shown, is the first row.
        if (kindShown(m_all.front().kind)) {
            beginRemoveRows({}, 0, 0);
            m_shown.pop_front();
            endRemoveRows();
        }
        m_all.pop_front();
    }
    m_all.push_back(frame);
    if (!kindShown(frame.kind)) return;
    const int row = int(m_shown.size());
    beginInsertRows({}, row, row);
    m_shown.push_back(frame);
    endInsertRows();
}

QString FrameLog::visibleText(const QString& text) {
    QString out;
    out.reserve(text.size() + 8);
    for (const QChar c : text) {
        if (c == QLatin1Char('\r'))
            out += QStringLiteral("<CR>");
        else if (c == QLatin1Char('\n'))
            out += QStringLiteral("<LF>");
        else if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            out += QStringLiteral("<%1>").arg(c.unicode(), 2, 16, QLatin1Char('0')).toUpper();
        else
            out += c;
    }
    return out;
}

QString FrameLog::message(const char* key, const char* english) const {
    return m_messages.value(QLatin1String(key), QString::fromUtf8(english));
}

QString FrameLog::kindText(link::FrameKind kind) const {
    switch (kind) {
        case link::FrameKind::Poll:
            return message("dgkpoll", "Poll");
        case link::FrameKind::Page:
            return message("dgkpage", "Page");
        case link::FrameKind::Command:
            return message("dgkcommand", "Command");
        case link::FrameKind::AlarmLog:
            return message("dgkalarm", "Alarm log");
    }
    return {};
}

QString FrameLog::cellText(const link::FrameRecord& f, int column) const {
    switch (column) {
        case TimeColumn:
            return f.time.toString(QStringLiteral("HH:mm:ss.zzz"));
        case PortColumn:
            return f.port;
        case DirectionColumn:
            return f.sent ? message("dgsent", "Sent") : message("dgread", "Read");
        case KindColumn:
            return kindText(f.kind);
        case FrameColumn:
            return visibleText(f.text);
        case LengthColumn:
            return f.sent ? QString() : QString::number(f.text.size());
        case VerdictColumn:
            if (f.sent) return {};
            for (const VerdictText& v : kVerdicts)
                if (v.verdict == f.verdict)
                    return m_messages.value(QLatin1String(v.key), link::ReplyVerdictName(f.verdict));
            return link::ReplyVerdictName(f.verdict);
        case DurationColumn:
            return f.sent ? QString() : QString::number(f.durationMs);
        default:
            return {};
    }
}

int FrameLog::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : int(m_shown.size()); }

int FrameLog::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : ColumnCount; }

QVariant FrameLog::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || size_t(index.row()) >= m_shown.size()) return {};
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole)
        return cellText(m_shown[size_t(index.row())], index.column());
    if (role == Qt::TextAlignmentRole && (index.column() == LengthColumn || index.column() == DurationColumn))
        return int(Qt::AlignRight | Qt::AlignVCenter);
    return {};
}

QVariant FrameLog::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (section) {
        case TimeColumn:
            return message("dgtime", "Time");
        case PortColumn:
            return message("dgport", "Port");
        case DirectionColumn:
            return message("dgdir", "Direction");
        case KindColumn:
            return message("dgkind", "Kind");
        case FrameColumn:
            return message("dgframe", "Frame");
        case LengthColumn:
            return message("dglength", "Length");
        case VerdictColumn:
            return message("dgverdict", "Check");
        case DurationColumn:
            return message("dgduration", "Duration (ms)");
        default:
            return {};
    }
}

QByteArray FrameLog::csv() const {
    config::CsvWriter writer;
    QStringList header;
    for (int c = 0; c < ColumnCount; ++c) header << headerData(c, Qt::Horizontal).toString();
    writer.addRow(header);
    for (const link::FrameRecord& f : m_shown) {
        QStringList row;
        for (int c = 0; c < ColumnCount; ++c) row << cellText(f, c);
        // The day too: an exported log may span midnight.
        row[TimeColumn] = f.time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
        writer.addRow(row);
    }
    return writer.bytes();
}

}  // namespace tarsyn::fleet
