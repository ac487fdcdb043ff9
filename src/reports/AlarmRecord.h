#pragma once

#include <QString>
#include <functional>

namespace tarsyn::reports {

/// The controller's alarm log (addresses count bytes): the record count at 0x0200, a spare byte,
/// then 7-byte records from 0x0202: code, year within the century, month, day, hour, minute, second.
namespace alarmlog {
constexpr int kCountAddress = 0x0200;
constexpr int kFirstRecord = 0x0202;
constexpr int kRecordChars = 14;  ///< one record in a reply: 7 bytes, 2 characters each
constexpr int kRowsPerPage = 6;
/// First read: the count and the first six records, 44 bytes from 0x0200. The `Transaction` reads
/// the header and the data only (94 characters); the check and CR LF are purged.
inline const QString kFirstRequest = QStringLiteral("00040200002C");
constexpr int kFirstCount = 94;
inline const QString kFirstHeader = QStringLiteral("00042C");
constexpr int kFirstRecordPosition = 11;  ///< 1-based; `total` is at 7-8
/// Page read: six records, 42 bytes, header and data only (90 characters).
constexpr int kPageCount = 90;
inline const QString kPageHeader = QStringLiteral("00042A");
constexpr int kPageRecordPosition = 7;
/// The controller needs a second to gather a block from its log.
constexpr int kWaitMs = 1000;
}  // namespace alarmlog

/// One record as the list shows it: the code's two characters, its catalogue text and the time.
struct AlarmRecord {
    QString code;  ///< two hexadecimal characters as the controller sent them ("05", "1A")
    QString text;  ///< the message "E" + code of the current catalogue ("0" when it has none)
    QString time;  ///< "20yy-mm-dd hh:mm:ss", the characters copied, never converted
};

/// Looks a message up in the current catalogue by key ("E05"); "0" when missing.
using MessageLookup = std::function<QString(const QString& key)>;

/// Decodes the record whose 14 characters begin at the 1-based `position` of `reply`. The time is
/// built from the characters as they stand ("09" "12" "31" "23" "59" "58" reads
/// 2009-12-31 23:59:58), so nothing in a record can make the decoding fail.
AlarmRecord DecodeAlarmRecord(const QString& reply, int position, const MessageLookup& text);

/// Whether the record at the 1-based `position` of `reply` can be one the controller wrote: each of its
/// six time fields two decimal digits, 20yy-mm-dd a day of the calendar and hh:mm:ss a time of day.
/// "2093-94-95 96:97:98" is another block's bytes (a late reply, another address), not a record.
bool AlarmRecordPlausible(const QString& reply, int position);
/// Whether the `count` records from `position` are all plausible.
bool AlarmRecordsPlausible(const QString& reply, int position, int count);

/// Pages needed for `total` records at six a page; 1 when the log is empty.
int AlarmPageCount(int total);

/// First byte of page `page` (1-based): 0x0202 + 42·(page − 1), as four upper-case hexadecimal digits.
QString AlarmPageAddress(int page);

/// The request of page `page`: "0004" + address + "002A".
QString AlarmPageRequest(int page);

/// Records on page `page` of a log of `total` records (6 on every page but the last).
int AlarmRowsOnPage(int total, int page);

}  // namespace tarsyn::reports
