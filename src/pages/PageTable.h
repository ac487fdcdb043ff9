#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

namespace tarsyn::pages {

/// How a field is held in the controller and shown on its page.
enum class FieldKind {
    Byte,         ///< 2 hexadecimal digits, a whole number 0-255 in an edit field
    Word,         ///< 4 digits, 0-65535, most significant byte first
    Hundredths,   ///< 4 digits; the edit field shows the value / 100 with two decimals (0.00-655.35)
    Tenths,       ///< 4 digits; the edit field shows the value / 10 with one decimal (0.0-6553.5), as the
                  ///< main window shows the battery and the frequencies; system.ini keeps the stored
                  ///< number (225 for 22.5), as it always did for these fields
    Bit,          ///< one bit of a byte, a pair of radio buttons (0 selects the first)
    StationName,  ///< 16 bytes of text (code-page bytes, or 8 UTF-16 units in Chinese), zero-filled
    Phone,        ///< 6 bytes: the number's digits, filled with "F" to 12
};

/// One field of a block: where it lives in the controller and which controls show it.
struct Field {
    FieldKind kind = FieldKind::Byte;
    int address = 0;             ///< first (most significant) byte; the reply position follows from it
    QString control;             ///< the edit field, or the radio button for bit value 0
    QString key;                 ///< key in the page's system.ini section
    QString label;               ///< the label (or, for a bit, the group box) naming the field
    QString caption;             ///< its design-time caption, the fallback of the catalogue
    int bit = 0;                 ///< Bit: 0 is the least significant bit of the byte
    QString control1;            ///< Bit: the radio button for bit value 1
    QString caption0, caption1;  ///< Bit: the radio buttons' design-time captions
    QString unitLabel;           ///< a label beside the edit field giving the unit and scale ("" for none)
    QString unitCaption;         ///< its design-time caption ("V")
    /// Byte, Word, Hundredths: the physical range of the stored value, both ends included; `high`
    /// negative means the field's width (255, 65535). A write outside it is refused, and a read that
    /// finds a value outside it is another block's bytes: nothing of it is shown.
    int low = 0;
    int high = -1;

    /// Characters of the reply and of the block image; 0 for a bit.
    int width() const;
};

/// A frame sent after the block's image frames: `head` followed by a field's value as four digits.
struct ExtraFrame {
    QString head;       ///< "00060082": function, address
    QString control;    ///< the field whose value follows
    int progress = -1;  ///< pb1's position after the frame, or -1 to leave it
};

/// Two fields of a block holding a lower and an upper limit of the same quantity: a write with the
/// upper one below the lower one is refused.
struct LimitPair {
    QString low;   ///< the lower limit's control
    QString high;  ///< the upper limit's control
};

/// One block of controller memory and everything the engine needs to read, write, save and load it.
struct Block {
    int start = 0;                     ///< first byte of the read and of the image frames
    int bytes = 0;                     ///< bytes read
    int count = 0;                     ///< N: characters the read takes from the reply
    int steps = 300;                   ///< S: 1 ms wait steps of the read
    int minReply = 0;                  ///< shortest reply decoded; 0: every reply is decoded
    int frames = 0;                    ///< F: word frames of the image, to start, start + 2, ...
    int progressMax = 0;               ///< M: pb1's range while writing
    QString section;                   ///< system.ini section
    QVector<Field> fields;             ///< in decoding order
    QStringList keyOrder;              ///< save and load order when it differs from the fields' order
    QVector<ExtraFrame> extras;        ///< sent after the image frames
    QVector<LimitPair> limitPairs;     ///< upper limits that must not lie below their lower ones
    bool waitAfterFailedOpen = false;  ///< the 600 ms wait follows even a failed re-open
    int progressAfterWait = -1;        ///< pb1's position after the final wait of a write, or -1
    QString group;                     ///< group box around the block's fields ("" for none)
    QString groupCaption;              ///< its design-time caption ("" for a box without caption)
    int columns = 2;                   ///< label and edit pairs side by side in the window

    /// The block-read request: "0004", start and byte count as four digits each.
    QString request() const;
    /// 1-based position of a field's first character in the reply.
    int position(const Field& f) const { return 7 + 2 * (f.address - start); }
    /// Characters of a complete reply up to the end of the data: header and 2 per byte.
    int dataEnd() const { return 6 + 2 * bytes; }
    /// True when the field lies in the bytes the image frames cover.
    bool inImage(const Field& f) const { return f.address >= start && f.address < start + 2 * frames; }
    /// The fields in save and load order.
    QVector<const Field*> keyedFields() const;
    const Field* field(const QString& control) const;
};

/// A parameter page: its window, its title key and its blocks (one row of buttons per block).
struct Page {
    QString window;    ///< "TForm6"
    QString titleKey;  ///< "Form6caption"
    QString title;     ///< design-time title
    QVector<Block> blocks;
    QStringList notes;  ///< extra labels under the fields: objectName, caption, objectName, caption...
};

/// The button rows: block 0 has btngsm1-5, block 1 btnsz1-5, block 2 btnjs1-5.
QString buttonName(int block, int role);
/// Roles of a row's buttons (the number in the name).
enum ButtonRole { kLoad = 1, kSave = 2, kRead = 3, kWrite = 4, kCancel = 5 };

/// Field builders, so that the tables read like the controller's memory map.
Field byteField(const char* control, int address, const char* key, const char* label, const char* caption);
Field wordField(const char* control, int address, const char* key, const char* label, const char* caption);
Field hundredthsField(const char* control, int address, const char* key, const char* label,
                      const char* caption);
Field tenthsField(const char* control, int address, const char* key, const char* label, const char* caption);
Field bitField(int address, int bit, const char* group, const char* caption, const char* radio0,
               const char* caption0, const char* radio1, const char* caption1, const char* key);
/// The field with a unit label beside it (objectName, design-time caption).
Field withUnit(Field field, const char* unitLabel, const char* unitCaption);
Field textField(FieldKind kind, const char* control, int address, const char* key, const char* label,
                const char* caption);

/// The six pages.
const Page& delayPage();        ///< TForm6
const Page& curvePage();        ///< TForm7
const Page& systemPage();       ///< TForm8
const Page& controlBitsPage();  ///< TForm9
const Page& alarmLimitsPage();  ///< TForm10
const Page& smsPage();          ///< Tgsm

}  // namespace tarsyn::pages
