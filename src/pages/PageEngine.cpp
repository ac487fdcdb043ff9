#include "pages/PageEngine.h"

#include <QRegularExpression>

#include "config/Config.h"
#include "config/LiveSettings.h"
#include "config/Prompter.h"
#include "link/Codec.h"
#include "link/ControllerLink.h"
#include "link/LinkError.h"
#include "monitor/PollControl.h"
#include "pages/PageView.h"

namespace tarsyn::pages {

namespace {

const QString kIniFile = QStringLiteral("system.ini");
constexpr int kReopenWaitMs = 600;       // the controller's line settles after the port re-opens
constexpr int kAfterWriteWaitMs = 1000;  // the last stored word needs its second too

/// A catalogue text with its placeholders filled; a text without them (a missing key shows "0") is
/// shown as it stands.
QString fill(QString text, const QStringList& args) {
    for (int i = 0; i < args.size(); ++i)
        text.replace(QStringLiteral("%") + QString::number(i + 1), args.at(i));
    return text;
}

}  // namespace

PageEngine::PageEngine(const Page& page, PageView& view, const PageServices& services)
    : m_page(page),
      m_view(view),
      m_services(services),
      m_codec(services.config, [m = &services.messages] { return m->language(); }) {}

QString PageEngine::message(const char* key, const QStringList& args) const {
    return fill(m_services.messages.text(QLatin1String(key)), args);
}

void PageEngine::showMessage(const char* key) { m_services.prompter.information(message(key)); }

QString PageEngine::windowTitle(const QString& title) const {
    const QString controller = m_services.controller ? m_services.controller().trimmed() : QString();
    return controller.isEmpty() ? title : message("pgtitle", {title, controller});
}

void PageEngine::press(const QString& button) {
    for (int b = 0; b < m_page.blocks.size(); ++b) {
        for (int role = kLoad; role <= kCancel; ++role) {
            if (buttonName(b, role) != button) continue;
            switch (role) {
                case kLoad:
                    load(b);
                    break;
                case kSave:
                    save(b);
                    break;
                case kRead:
                    read(b);
                    break;
                case kWrite:
                    write(b);
                    break;
                default:
                    cancel();
                    break;
            }
            return;
        }
    }
}

void PageEngine::edited(const QString& control) {
    for (const Block& block : m_page.blocks)
        for (const Field& f : block.fields)
            if (f.control == control || (f.kind == FieldKind::Bit && f.control1 == control)) {
                m_known.insert(f.control);
                return;
            }
}

void PageEngine::load(int b) {
    const Block& block = m_page.blocks.at(b);
    // A block never saved would load as zeros, and a write after it would send them: load nothing.
    const config::IniSection saved = m_services.config.readSection(kIniFile, block.section);
    const QVector<const Field*> keyed = block.keyedFields();
    QStringList missing;
    for (const Field* f : keyed)
        if (!saved.contains(f->key)) missing << fieldCaption(block, *f);
    if (missing.size() == keyed.size()) {
        m_services.prompter.information(message("pgnosaved", {blockName(b)}));
        return;
    }
    if (!missing.isEmpty()) {
        m_services.prompter.information(
            message("pgpartsaved", {blockName(b), missing.join(QStringLiteral(", "))}));
        return;
    }
    for (const Field* f : keyed) {
        const QString value = saved.value(f->key);
        if (f->kind == FieldKind::Bit)
            m_view.check(value == QLatin1String("1") ? f->control1 : f->control);
        else
            m_view.setText(f->control, FieldCodec::fromFileText(*f, value));
        m_known.insert(f->control);
    }
    showMessage("pgfileloaded");
}

void PageEngine::save(int b) {
    const Block& block = m_page.blocks.at(b);
    if (!checkKnown(b)) return;  // an unset radio pair would be saved as a choice nobody made
    // One replacement of the file for the whole block: a crash leaves the old block or the new one.
    QList<config::IniEntry> entries;
    for (const Field* f : block.keyedFields())
        entries.append({block.section, f->key, m_codec.fileText(*f, fieldValue(*f))});
    try {
        m_services.config.wriniBatch(kIniFile, entries);
    } catch (const config::ConfigError& e) {
        m_services.prompter.error(e.message());  // nothing of the block was written
        return;
    }
    showMessage("pgfilesaved");
}

void PageEngine::cancel() {
    if (m_busy) {
        m_cancelPending = true;  // the exchange goes on; the page clears and closes after it
        return;
    }
    m_cancelPending = false;
    m_view.setReadWriteEnabled(true);
    for (const Block& block : m_page.blocks)
        for (const Field& f : block.fields) {
            if (f.kind == FieldKind::Bit)
                m_view.uncheckPair(f.control, f.control1);
            else
                m_view.setText(f.control, QString());
        }
    m_known.clear();  // the cleared page must be read or loaded again before a write
    m_view.closePage();
}

void PageEngine::finishOperation() {
    m_view.hideProgress();
    m_view.setReadWriteEnabled(true);
    m_busy = false;
    if (m_cancelPending) cancel();
}

void PageEngine::read(int b) {
    if (m_busy) return;
    const Block& block = m_page.blocks.at(b);
    m_busy = true;
    m_view.setReadWriteEnabled(false);
    link::ControllerLink& link = m_services.link;
    QString openError;
    try {
        {
            monitor::ExclusiveExchange exchange(m_services.poll, monitor::LineActivity::Kind::PageExchange);
            m_services.poll.setPollState(1);
            if (link.port().Connected()) link.port().ClosePort();
            bool opened = true;
            try {
                link.port().OpenPort();
            } catch (const link::SerialError& e) {
                opened = false;  // the exchange below then fails on the closed port
                openError = e.message();
            }
            if (opened || block.waitAfterFailedOpen) link.sleeper().sleep(kReopenWaitMs);
            m_view.showProgress(block.steps);
            link.PageTransaction(block.request(), block.count, block.steps, [this](int step, int) {
                m_view.setProgress(step);
                m_view.processEvents();
            });
        }
        m_view.hideProgress();
        const QString reply = link.LastReply();
        QString wildText;
        const Field* wild = link.LastVerdict() == link::ReplyVerdict::Ok && reply.size() >= block.minReply
                                ? outOfRange(block, reply, wildText)
                                : nullptr;
        if (wild) {
            // A whole frame whose value this field cannot hold carries another block's bytes (a late
            // reply, another address): counted as a check error, and no field of it is shown.
            link.refuseReply();
            m_services.prompter.error(
                message("pgreadrange", {blockName(b), plainCaption(*wild), wildText,
                                        FieldCodec::rangeLow(*wild), FieldCodec::rangeHigh(*wild)}));
        } else if (link.LastVerdict() == link::ReplyVerdict::Ok && reply.size() >= block.minReply) {
            if (const Field* bad = decode(block, reply)) {
                const int at = block.position(*bad) - 1;
                const QString raw = reply.mid(at, bad->kind == FieldKind::Bit ? 2 : bad->width());
                m_services.prompter.error(message("pgbadreply", {blockName(b), plainCaption(*bad), raw}));
            } else {
                QHash<QString, QString>& read = m_lastRead[b];
                read.clear();
                for (const Field& f : block.fields) read.insert(f.control, fieldValue(f));
                showMessage("pgread");
            }
        } else {
            // Nothing usable came back: the fields keep what they held, and the operator learns that
            // the read did not happen, and whether nothing came or a reply that failed its check.
            const bool silent = link.LastVerdict() == link::ReplyVerdict::NoReply;
            m_services.prompter.error(message(silent ? "pgreadnone" : "pgreadgarbled", {blockName(b)}));
        }
    } catch (const link::LinkError& e) {
        // Shown once; the page is ready again and polling has resumed with the guard.
        m_view.hideProgress();
        m_services.prompter.error(openError.isEmpty() ? e.message() : openError);
    }
    finishOperation();
}

const Field* PageEngine::outOfRange(const Block& block, const QString& reply, QString& text) const {
    for (const Field& f : block.fields) {
        if (f.kind != FieldKind::Byte && f.kind != FieldKind::Word && f.kind != FieldKind::Hundredths &&
            f.kind != FieldKind::Tenths)
            continue;
        try {
            text = m_codec.decode(f, reply, block.position(f));
        } catch (const link::ConversionError&) {
            return nullptr;  // the decoder stops there and says so
        }
        if (m_codec.check(f, text) != Refusal::None) return &f;
    }
    return nullptr;
}

const Field* PageEngine::decode(const Block& block, const QString& reply) {
    QString bits;  // the byte of the latest bit field, most significant bit first
    int bitsAddress = -1;
    for (const Field& f : block.fields) {
        try {
            if (f.kind != FieldKind::Bit) {
                m_view.setText(f.control, m_codec.decode(f, reply, block.position(f)));
            } else {
                if (f.address != bitsAddress) {
                    bits = link::HexToBits(reply.mid(block.position(f) - 1, 2));
                    bitsAddress = f.address;
                }
                m_view.check(bits.at(7 - f.bit) == QLatin1Char('0') ? f.control : f.control1);
            }
        } catch (const link::ConversionError&) {
            return &f;
        }
        m_known.insert(f.control);
    }
    return nullptr;
}

bool PageEngine::checkKnown(int b) {
    const Block& block = m_page.blocks.at(b);
    QStringList missing;
    const Field* first = nullptr;
    for (const Field& f : block.fields) {
        if (m_known.contains(f.control)) continue;
        if (!first) first = &f;
        missing << fieldCaption(block, f);
    }
    if (missing.isEmpty()) return true;
    constexpr int kNamed = 3;  // enough to recognise the block; a fresh page lacks every field
    QString names = QStringList(missing.mid(0, kNamed)).join(QStringLiteral(", "));
    if (missing.size() > kNamed) names += QStringLiteral(", …");
    m_services.prompter.information(message("pgreadfirst", {blockName(b), names}));
    m_view.focus(first->control);
    return false;
}

bool PageEngine::checkFields(const Block& block) {
    auto checkOne = [this, &block](const Field& f) {
        if (f.kind == FieldKind::Bit) return true;
        const Refusal why = m_codec.check(f, m_view.text(f.control));
        if (why == Refusal::None) return true;
        refuse(block, f, why);
        return false;
    };
    for (const Field& f : block.fields)
        if (block.inImage(f) && !checkOne(f)) return false;
    for (const ExtraFrame& extra : block.extras)
        if (const Field* f = block.field(extra.control); f && !checkOne(*f)) return false;
    return true;
}

bool PageEngine::checkLimits(const Block& block) {
    for (const LimitPair& pair : block.limitPairs) {
        const Field* low = block.field(pair.low);
        const Field* high = block.field(pair.high);
        quint32 lowValue = 0, highValue = 0;
        m_codec.check(*low, m_view.text(low->control), &lowValue);  // both passed checkFields
        m_codec.check(*high, m_view.text(high->control), &highValue);
        if (highValue >= lowValue) continue;
        m_services.prompter.information(message(
            "pglimits", {fieldCaption(block, *high), withUnit(*high, FieldCodec::valueText(*high, highValue)),
                         fieldCaption(block, *low), withUnit(*low, FieldCodec::valueText(*low, lowValue))}));
        m_view.focus(high->control);
        return false;
    }
    return true;
}

QString PageEngine::fieldValue(const Field& f) const {
    if (f.kind == FieldKind::Bit)
        return m_view.isChecked(f.control1) ? QStringLiteral("1") : QStringLiteral("0");
    return m_view.text(f.control);
}

QString PageEngine::shownValue(const Field& f, const QString& stored) const {
    return f.kind == FieldKind::Bit ? stored : m_codec.decode(f, stored, 1);
}

QString PageEngine::withUnit(const Field& f, const QString& value) const {
    // The unit as the label beside the field shows it, in the current language.
    const QString unit = f.unitLabel.isEmpty() ? QString() : m_view.caption(f.unitLabel).trimmed();
    return unit.isEmpty() ? value : value + QLatin1Char(' ') + unit;
}

QString PageEngine::plainCaption(const Field& f) const {
    QString caption = m_view.caption(f.label);
    caption.remove(QRegularExpression(QStringLiteral("[:：]\\s*$")));
    return caption.trimmed().isEmpty() ? f.control : caption.trimmed();
}

QString PageEngine::fieldCaption(const Block& block, const Field& f) const {
    // "Voltage 3" is on every curve: say which.
    const QString group = block.group.isEmpty() ? QString() : m_view.caption(block.group).trimmed();
    if (group.isEmpty() || m_page.blocks.size() < 2) return plainCaption(f);
    return message("pgpart", {group, plainCaption(f)});
}

QString PageEngine::blockName(int b) const {
    const QString title = m_services.messages.text(m_page.titleKey);
    if (m_page.blocks.size() < 2) return title;
    const Block& block = m_page.blocks.at(b);
    QString part = block.group.isEmpty() ? QString() : m_view.caption(block.group).trimmed();
    if (part.isEmpty())  // a group box without caption: name the block by its first and last field
        part = message("pgfields", {plainCaption(block.fields.first()), plainCaption(block.fields.last())});
    return message("pgpart", {title, part});
}

QString PageEngine::writtenDetail(int b, const WriteResult& result) const {
    const Block& block = m_page.blocks.at(b);
    const auto read = m_lastRead.constFind(b);
    QStringList parts;
    if (result.outcome == Outcome::NoAnswer) {
        // What went out, as the controller would store it: 1.234 as 1.23, a name cut to 16 bytes.
        parts << QStringLiteral("written, no answer: not verified; sent");
        for (const Field& f : block.fields)
            parts << QStringLiteral("%1 = %2").arg(plainCaption(f),
                                                   shownValue(f, result.sent.value(f.control)));
    } else {
        parts << (result.outcome == Outcome::Verified
                      ? QStringLiteral("written and verified")
                      : QStringLiteral("written, the controller holds other values"));
        // The values the controller holds now, against those it held at the last read.
        int changed = 0;
        for (const Field& f : block.fields) {
            const QString now = result.held.value(f.control);
            if (read != m_lastRead.constEnd() && read->contains(f.control)) {
                const QString before = read->value(f.control);
                if (before == now) continue;
                parts << QStringLiteral("%1: %2 → %3").arg(plainCaption(f), before, now);
            } else {
                parts << QStringLiteral("%1 = %2").arg(plainCaption(f), now);
            }
            ++changed;
        }
        if (result.outcome == Outcome::Differs)
            parts << QStringLiteral("differing: ") + result.differences.join(QStringLiteral(", "));
        if (changed == 0) parts << QStringLiteral("no value changed since the last read");
    }
    const QString title = m_services.messages.text(m_page.titleKey);
    return QStringLiteral("%1 (%2), block %3: ").arg(title, m_page.window).arg(b + 1) +
           parts.join(QStringLiteral("; "));
}

config::CatalogueText PageEngine::captionText(const Field& f) const {
    return config::CatalogueText().caption(f.label + QStringLiteral(".Caption"),
                                           f.caption.isEmpty() ? f.control : f.caption);
}

config::CatalogueText PageEngine::fieldCaptionText(const Block& block, const Field& f) const {
    if (block.group.isEmpty() || m_page.blocks.size() < 2) return captionText(f);
    return config::CatalogueText(QStringLiteral("pgpart"))
        .caption(block.group + QStringLiteral(".Caption"), block.groupCaption)
        .text(captionText(f));
}

config::CatalogueText PageEngine::valueText(const Field& f, const QString& shown) const {
    if (f.kind != FieldKind::Bit) return config::CatalogueText().arg(shown);
    const bool one = shown == QLatin1String("1");
    return config::CatalogueText().caption((one ? f.control1 : f.control) + QStringLiteral(".Caption"),
                                           one ? f.caption1 : f.caption0);
}

QString PageEngine::writtenData(int b, const WriteResult& result) const {
    // The same parts as writtenDetail(), each a text of the catalogues.
    const Block& block = m_page.blocks.at(b);
    const auto read = m_lastRead.constFind(b);
    QVector<config::CatalogueText> parts;
    const auto value = [this](const Field& f, const QString& shown) {
        return config::CatalogueText(QStringLiteral("jdvalue"))
            .text(captionText(f))
            .text(valueText(f, shown));
    };
    if (result.outcome == Outcome::NoAnswer) {
        parts << config::CatalogueText().word(QStringLiteral("jdnoanswer"));
        for (const Field& f : block.fields) parts << value(f, shownValue(f, result.sent.value(f.control)));
    } else {
        parts << config::CatalogueText().word(result.outcome == Outcome::Verified
                                                  ? QStringLiteral("jdverified")
                                                  : QStringLiteral("jdheldother"));
        int changed = 0;
        for (const Field& f : block.fields) {
            const QString now = result.held.value(f.control);
            if (read != m_lastRead.constEnd() && read->contains(f.control)) {
                const QString before = read->value(f.control);
                if (before == now) continue;
                parts << config::CatalogueText(QStringLiteral("jdchanged"))
                             .text(captionText(f))
                             .text(valueText(f, before))
                             .text(valueText(f, now));
            } else {
                parts << value(f, now);
            }
            ++changed;
        }
        if (result.outcome == Outcome::Differs)
            parts << config::CatalogueText(QStringLiteral("jddiffering")).list(result.differenceTexts);
        if (changed == 0) parts << config::CatalogueText().word(QStringLiteral("jdunchanged"));
    }
    return config::CatalogueText(QStringLiteral("jdblock"))
        .word(m_page.titleKey)
        .arg(QString::number(b + 1))
        .list(parts)
        .toJsonText({{QStringLiteral("o"), m_page.window}});
}

void PageEngine::refuse(const Block& block, const Field& f, Refusal why) {
    const QString caption = fieldCaption(block, f);
    QString text;
    switch (why) {
        case Refusal::Range:
            text =
                message("pgrange", {caption, FieldCodec::rangeLow(f), withUnit(f, FieldCodec::rangeHigh(f))});
            break;
        case Refusal::Phone:
            text = message("pgphone", {caption});
            break;
        case Refusal::NameTooLong:
            text = message(m_codec.chinese() ? "pgnameunits" : "pgnamebytes",
                           {caption, QString::number(m_codec.nameLimit()),
                            QString::number(m_codec.nameLength(m_view.text(f.control)))});
            break;
        default:
            text = message("pgname", {caption});
            break;
    }
    m_services.prompter.information(text);
    m_view.focus(f.control);
}

QString PageEngine::blockImage(const Block& block) const {
    QString image(4 * block.frames, QLatin1Char('0'));
    for (const Field& f : block.fields) {
        if (!block.inImage(f)) continue;
        const int at = 2 * (f.address - block.start);
        if (f.kind != FieldKind::Bit) {
            image.replace(at, f.width(), m_codec.encode(f, m_view.text(f.control)));
            continue;
        }
        // A bit field sets its bit in its byte; bits without a field are 0.
        quint32 byte = link::ParseHex(image.mid(at, 2));
        if (m_view.isChecked(f.control1)) byte |= 1u << f.bit;
        image.replace(at, 2, link::ToHex(byte, 2));
    }
    return image;
}

void PageEngine::verify(int b, WriteResult& result) {
    const Block& block = m_page.blocks.at(b);
    link::ControllerLink& link = m_services.link;
    result.outcome = Outcome::NoAnswer;
    QString reply;
    try {
        link.PageTransaction(block.request(), block.count, block.steps,
                             [this](int, int) { m_view.processEvents(); });
        reply = link.LastReply();
    } catch (const link::LinkError&) {
        return;  // a reply the link refused, or a port that failed: nothing to compare
    }
    // Every field must be there: a cut reply cannot say what the controller holds.
    if (reply.size() < block.dataEnd()) return;
    static const QRegularExpression kHex(QStringLiteral("^[0-9A-Fa-f]*$"));
    if (!kHex.match(reply.mid(6, 2 * block.bytes)).hasMatch()) return;
    for (const Field& f : block.fields) {
        const int at = block.position(f);
        const QString holds =  // the stored form, to compare with what was sent
            f.kind == FieldKind::Bit ? QString(link::HexToBits(reply.mid(at - 1, 2)).at(7 - f.bit))
                                     : reply.mid(at - 1, f.width()).toUpper();
        result.held.insert(f.control, shownValue(f, holds));
        const QString sent = result.sent.value(f.control);
        if (holds == sent) continue;
        QString shownHeld = shownValue(f, holds), shownSent = shownValue(f, sent);
        if (f.kind == FieldKind::Bit) {  // a choice reads as its radio button's caption
            shownHeld = m_view.caption(holds == QLatin1String("1") ? f.control1 : f.control);
            shownSent = m_view.caption(sent == QLatin1String("1") ? f.control1 : f.control);
        }
        result.differences << message("pgdiffitem", {fieldCaption(block, f), shownHeld, shownSent});
        result.differenceTexts << config::CatalogueText(QStringLiteral("pgdiffitem"))
                                      .text(fieldCaptionText(block, f))
                                      .text(valueText(f, shownValue(f, holds)))
                                      .text(valueText(f, shownValue(f, sent)));
    }
    result.outcome = result.differences.isEmpty() ? Outcome::Verified : Outcome::Differs;
}

bool PageEngine::checkWrite(int b) {
    const Block& block = m_page.blocks.at(b);
    return checkKnown(b) && checkFields(block) && checkLimits(block);
}

PageEngine::Words PageEngine::allWords(int b) const {
    const Block& block = m_page.blocks.at(b);
    Words words;
    for (int k = 0; k < block.frames; ++k) words.frames.insert(k);
    for (const ExtraFrame& extra : block.extras) words.extras.insert(extra.control);
    return words;
}

void PageEngine::write(int b) { write(b, allWords(b)); }

void PageEngine::write(int b, const Words& words) {
    m_lastWrite.reset();
    if (m_busy) return;
    const Block& block = m_page.blocks.at(b);
    if (!checkWrite(b)) return;  // refused before anything is sent
    m_busy = true;
    m_view.setReadWriteEnabled(false);
    m_services.poll.setPollState(1);
    link::ControllerLink& link = m_services.link;
    try {
        const QString image = blockImage(block);
        WriteResult result;
        for (const Field& f : block.fields)
            result.sent.insert(f.control, f.kind == FieldKind::Bit
                                              ? fieldValue(f)
                                              : m_codec.encode(f, m_view.text(f.control)));
        m_view.showProgress(block.progressMax);
        m_view.processEvents();
        {
            monitor::ExclusiveExchange exchange(m_services.poll, monitor::LineActivity::Kind::PageExchange);
            for (int k = 0; k < block.frames; ++k) {
                if (!words.frames.contains(k)) continue;
                link.PageWrite(QStringLiteral("0007") + link::ToHex(quint32(block.start + 2 * k), 4) +
                               image.mid(4 * k, 4));
                m_view.setProgress(4 * k + 1);
                m_view.processEvents();
            }
            for (const ExtraFrame& extra : block.extras) {
                if (!words.extras.contains(extra.control)) continue;
                quint32 value = 0;
                m_codec.check(*block.field(extra.control), m_view.text(extra.control), &value);
                link.PageWrite(extra.head + link::ToHex(value, 4));
                if (extra.progress >= 0) m_view.setProgress(extra.progress);
                m_view.processEvents();
            }
            link.sleeper().sleep(kAfterWriteWaitMs);
            if (block.progressAfterWait >= 0) {
                m_view.setProgress(block.progressAfterWait);
                m_view.processEvents();
            }
            // Writes are not acknowledged: only a read shows what the controller stored.
            verify(b, result);
        }
        m_view.hideProgress();
        if (result.outcome == Outcome::Verified)  // the page shows what the controller holds: 1.234 as 1.23
            for (const Field& f : block.fields)
                if (f.kind != FieldKind::Bit) m_view.setText(f.control, result.held.value(f.control));
        m_lastWrite = result.outcome;
        if (m_services.written) m_services.written(writtenDetail(b, result), writtenData(b, result));
        if (result.outcome == Outcome::NoAnswer)
            m_lastRead.remove(b);
        else
            m_lastRead[b] = result.held;
        switch (result.outcome) {
            case Outcome::Verified:
                showMessage("pgverified");
                break;
            case Outcome::Differs:
                m_services.prompter.error(
                    message("pgdiffers", {result.differences.join(QStringLiteral("; "))}));
                break;
            case Outcome::NoAnswer:
                m_services.prompter.error(message("pgnoanswer"));
                break;
        }
    } catch (const link::LinkError& e) {
        m_view.hideProgress();
        m_services.prompter.error(e.message());
    }
    finishOperation();
}

}  // namespace tarsyn::pages
