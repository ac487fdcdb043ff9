#pragma once

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVector>
#include <functional>
#include <optional>

#include "config/CatalogueText.h"
#include "pages/FieldCodec.h"
#include "pages/PageTable.h"

namespace tarsyn::config {
class Config;
class Messages;
class Prompter;
}  // namespace tarsyn::config
namespace tarsyn::link {
class ControllerLink;
}
namespace tarsyn::monitor {
class PollControl;
}

namespace tarsyn::pages {

class PageView;

/// What a page engine talks to: the one controller link, the poll cycle it pauses, system.ini and
/// the catalogue, the boxes.
struct PageServices {
    link::ControllerLink& link;
    monitor::PollControl& poll;
    config::Config& config;
    const config::Messages& messages;
    config::Prompter& prompter;
    /// Told after a block was written, with a line naming the page, the block and each field's value
    /// (old → new where the page read the block before), and the same as values to be said in any
    /// language (compact JSON of a config::CatalogueText, "o" naming the page's window); the event
    /// journal keeps both. May be empty.
    std::function<void(const QString& detail, const QString& data)> written = {};
    /// The controller the page acts on, as the operator knows it ("Genset 1"); its window title names
    /// it. May be empty.
    std::function<QString()> controller = {};
};

/// The one engine of every parameter page: load, save, read, write and cancel for any block of a
/// page table, on the controls of a PageView.
///
/// Reads and writes run on the caller's thread inside the exclusive-exchange guard, so the poll
/// timer is stopped meanwhile and restarts on every way out, an error included.
///
/// A block is written only when every one of its fields holds a value that came from a read, a load
/// or the operator's own edit (the window reports edits through `edited`); a page opened fresh, or
/// cleared by cancel, must be read or loaded first. Before a write every field is checked, and a
/// text the controller cannot store (not a number, out of its range, a phone with a non-digit, a
/// name outside the code page, an upper limit below its lower one) refuses the whole write with a
/// message naming the field; nothing is sent. Writes are not acknowledged on the wire, so after the
/// final wait the block is read back and compared with what went out: the operator learns whether
/// it was verified, which fields the controller holds differently, or that nothing answered.
///
/// Save writes a block's keys as one replacement of system.ini; load fills nothing from a file that
/// holds no saved values for the block. An exchange that fails (port not re-opened, serial error) or
/// a reply field that is not hexadecimal is reported once and the page is ready again. A cancel
/// pressed during an exchange takes effect when the exchange has finished.
class PageEngine {
public:
    PageEngine(const Page& page, PageView& view, const PageServices& services);

    const Page& page() const { return m_page; }

    void load(int block);
    void save(int block);
    void read(int block);
    void write(int block);
    /// Which stored words of a block a write sends: the frames by index (frame k carries the image's
    /// word k) and the extra frames by their field's control. A write of some words checks, waits
    /// and reads back the whole block as a write of all of them does.
    struct Words {
        QSet<int> frames;
        QSet<QString> extras;
    };
    /// Writes only `words` of `block` (a tool writing only what differs from the controller).
    void write(int block, const Words& words);
    /// Every word of `block`.
    Words allWords(int block) const;
    /// The checks a write makes before anything is sent, without sending: true when `block` may be
    /// written; otherwise the refusal naming the field has been shown. A tool that writes several
    /// blocks checks them all first, so that a refused field leaves the controller untouched.
    bool checkWrite(int block);
    void cancel();
    /// Any button of the page, by its objectName ("btnsz3").
    void press(const QString& button);
    /// The operator changed a control: an edit field, or either radio button of a pair.
    void edited(const QString& control);

    bool busy() const { return m_busy; }

    /// The block image: each image field's stored text in address order (numbers must be valid).
    QString blockImage(const Block& block) const;
    /// The window title: `title` with the controller the page acts on, when there is one.
    QString windowTitle(const QString& title) const;

    /// How a write ended once its frames went out: the read-back matched, showed other values, or
    /// got no usable answer.
    enum class Outcome { Verified, Differs, NoAnswer };
    /// The outcome of the latest write; empty when it sent nothing (refused, busy) or failed on the
    /// port before its read-back.
    std::optional<Outcome> lastWrite() const { return m_lastWrite; }

private:
    /// A write and its read-back, by field control: the stored forms (hexadecimal, "0"/"1" for a bit)
    /// that went out, and the texts the controller gave back.
    struct WriteResult {
        Outcome outcome = Outcome::NoAnswer;
        QHash<QString, QString> sent;
        QHash<QString, QString> held;
        QStringList differences;                         // "field holds X, sent Y"
        QVector<config::CatalogueText> differenceTexts;  // the same, as values
    };

    bool checkKnown(int block);
    bool checkFields(const Block& block);
    bool checkLimits(const Block& block);
    void refuse(const Block& block, const Field& field, Refusal why);
    /// Decodes every field into its control; returns the field whose text is not hexadecimal (the
    /// controls before it keep their new texts), or nullptr.
    const Field* decode(const Block& block, const QString& reply);
    /// The first number field of `reply` whose value lies outside the field's range (its text in
    /// `text`), or null; nothing is shown.
    const Field* outOfRange(const Block& block, const QString& reply, QString& text) const;
    /// Reads the block back after a write and compares it with what was sent.
    void verify(int block, WriteResult& result);
    void finishOperation();
    QString message(const char* key, const QStringList& args = {}) const;
    void showMessage(const char* key);
    /// `value` followed by the field's unit as its unit label shows it ("22.5 V"); `value` alone
    /// for a field without one.
    QString withUnit(const Field& field, const QString& value) const;
    /// A field's value as the page shows it: its text, or "0"/"1" for a bit.
    QString fieldValue(const Field& field) const;
    /// A field's stored form as the page shows it: 007B of a hundredths field as 1.23.
    QString shownValue(const Field& field, const QString& stored) const;
    /// The field's translated caption, with its curve's name where the page has several curves.
    QString fieldCaption(const Block& block, const Field& field) const;
    QString plainCaption(const Field& field) const;
    /// The page's title, with the block's name where the page has several blocks.
    QString blockName(int block) const;
    QString writtenDetail(int block, const WriteResult& result) const;
    /// writtenDetail() as values: the page's title, captions and choices by their catalogue keys.
    QString writtenData(int block, const WriteResult& result) const;
    config::CatalogueText captionText(const Field& field) const;
    config::CatalogueText fieldCaptionText(const Block& block, const Field& field) const;
    /// A value as the page shows it: a choice by its radio button's caption, else the value.
    config::CatalogueText valueText(const Field& field, const QString& shown) const;

    const Page& m_page;
    PageView& m_view;
    PageServices m_services;
    FieldCodec m_codec;
    bool m_busy = false;
    bool m_cancelPending = false;
    std::optional<Outcome> m_lastWrite;
    QHash<int, QHash<QString, QString>> m_lastRead;  // per block: field control -> value the controller holds
    QSet<QString> m_known;  // fields (by control) holding a value from a read, a load or an edit
};

}  // namespace tarsyn::pages
