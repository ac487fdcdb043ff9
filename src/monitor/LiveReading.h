#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <array>
#include <optional>

#include "link/ReplyCheck.h"
#include "monitor/LiveMap.h"

namespace tarsyn::link {
class ControllerLink;
}

namespace tarsyn::monitor {

/// Which of the two polled blocks a reply carried.
enum class ReplyBlock { Live, Delay };

/// The request of a polled block: "000400060030" (48 bytes from 0x0006) or "000400360016" (22 bytes
/// from 0x0036). A full reply is "0004", the count, the data, the check and CR LF: 106 and 54 characters.
QString BlockRequest(ReplyBlock block);
/// How much of a block's reply is read: a little more than a whole reply, so that a second frame
/// behind it fails the check.
int BlockReadCount(ReplyBlock block);

/// One field of a reply as a number: the field's unsigned value and that value in the field's unit
/// (divided by 10 or 100 where the block says so). Not valid when the field was not decoded: the reply
/// was cut or spoilt at or before it, or no reply of its block has been read yet.
struct FieldValue {
    quint32 raw = 0;
    double value = 0;
    bool valid = false;
    bool operator==(const FieldValue& o) const {
        return raw == o.raw && value == o.value && valid == o.valid;
    }
};

/// What one controller showed in its latest replies, decoded once: the 21 live values with their units
/// (LiveValueFields()), the 22 delays (DelayBlockFields()), the 32 indicators by name, and the link.
/// The fields of a block are decoded in the block's display order and decoding stops at the first field
/// that is not whole hexadecimal: the fields before it are valid, that one and the ones after are not,
/// exactly as the window shows such a reply.
struct LiveReading {
    QDateTime time;  ///< when the latest reply (either block) was read
    QString remark;  ///< the entry's remark as configured: the controller's name, not yet trimmed
    QString port;    ///< the device the reply came from
    std::array<FieldValue, kLiveValueCount> values{};
    std::array<FieldValue, kDelayCount> delays{};
    std::array<FieldValue, kBitByteCount> bitBytes{};  ///< alarms, states, inputs, outputs
    bool linked = false;                               ///< the connection indicator shows linked
    QDateTime linkChangedAt;  ///< when it last changed (invalid: not since the start)

    const FieldValue& value(Quantity q) const { return values[size_t(q)]; }
    /// The value shown by a live panel (`pnl17`…) in its unit; nullopt when not decoded or no such panel.
    std::optional<double> valueOf(const QString& panel) const;
    /// Whether indicator `zs1`…`zs34` is set; nullopt when its byte was not decoded or no such name.
    std::optional<bool> indicator(const QString& name) const;
    /// The indicators that are set, in number order (only from decoded bytes).
    QStringList activeIndicators() const;
    /// Every field of the live block was decoded.
    bool liveComplete() const;
};

/// Decodes a live reply (positions as read, CR LF and check not looked at) into the live fields of
/// `reading`, every live field first made invalid. Returns true when the whole block was decoded.
bool DecodeLiveReply(const QString& reply, LiveReading& reading);
/// The same for a delay reply and the 22 delays.
bool DecodeDelayReply(const QString& reply, LiveReading& reading);
/// A reading of a live reply alone.
LiveReading LiveReadingOf(const QString& reply);

/// A field of a reply that decodes to a value outside its physical range (BlockField::low/high).
struct RangeFault {
    const BlockField* field = nullptr;  ///< null: every decoded field lies in its range
    double value = 0;                   ///< what it decoded to, in its unit
    explicit operator bool() const { return field != nullptr; }
    /// "battery voltage 4780.3 V is outside 0 to 60 V".
    QString describe() const;
};
/// The first field of `block` whose value in `reply` lies outside its range. Such a frame passed the
/// check but carries another block's bytes: none of it is shown, recorded or looked at for alarms.
/// Fields that are not hexadecimal are left to the decoder.
RangeFault FirstOutOfRange(const QString& reply, ReplyBlock block);

/// One read of a polled block on `line` outside the poll cycle (the command-line tool, the report):
/// the Transaction, then the range check; a reply with a field outside its range is refused on the
/// line (ControllerLink::refuseReply: LastReply empty, counted as a check error) and OutOfRange
/// returned. `count` and `waitMs` as for Transaction. A port failure raises SerialError.
link::ReplyVerdict BlockTransaction(link::ControllerLink& line, ReplyBlock block, int count, int waitMs);

}  // namespace tarsyn::monitor
