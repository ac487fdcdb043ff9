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

void PageEngine::showMessage(const char* key) {
    m_services.prompter.information(m_services.messages.text(QLatin1String(key)));
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

void PageEngine::load(int b) {
    const Block& block = m_page.blocks.at(b);
    for (const Field* f : block.keyedFields()) {
        const QString value = m_services.config.reini(kIniFile, block.section, f->key);
        if (f->kind == FieldKind::Bit)
            m_view.check(value == QLatin1String("1") ? f->control1 : f->control);
        else
            m_view.setText(f->control, value);
    }
    showMessage("dl19");
}

void PageEngine::save(int b) {
    const Block& block = m_page.blocks.at(b);
    try {
        for (const Field* f : block.keyedFields()) {
            const QString value =
                f->kind == FieldKind::Bit
                    ? QString(m_view.isChecked(f->control1) ? QStringLiteral("1") : QStringLiteral("0"))
                    : m_view.text(f->control);
            m_services.config.wrini(kIniFile, block.section, f->key, value);
        }
    } catch (const config::ConfigError& e) {
        m_services.prompter.error(e.message());  // the keys after it are not written
        return;
    }
    showMessage("dl18");
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
            monitor::ExclusiveExchange exchange(m_services.poll);
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
        if (link.LastVerdict() == link::ReplyVerdict::Ok && reply.size() >= block.minReply) {
            decode(block, reply);
            QHash<QString, QString>& read = m_lastRead[b];
            read.clear();
            for (const Field& f : block.fields) read.insert(f.control, fieldValue(f));
            showMessage("dl19");
        }
    } catch (const link::LinkError& e) {
        // Shown once; the page is ready again and polling has resumed with the guard.
        m_view.hideProgress();
        m_services.prompter.error(openError.isEmpty() ? e.message() : openError);
    }
    finishOperation();
}

void PageEngine::decode(const Block& block, const QString& reply) {
    QString bits;  // the byte of the latest bit field, most significant bit first
    int bitsAddress = -1;
    for (const Field& f : block.fields) {
        if (f.kind != FieldKind::Bit) {
            m_view.setText(f.control, m_codec.decode(f, reply, block.position(f)));
            continue;
        }
        if (f.address != bitsAddress) {
            bits = link::HexToBits(reply.mid(block.position(f) - 1, 2));
            bitsAddress = f.address;
        }
        m_view.check(bits.at(7 - f.bit) == QLatin1Char('0') ? f.control : f.control1);
    }
}

bool PageEngine::checkFields(const Block& block) {
    auto checkOne = [this](const Field& f) {
        if (f.kind == FieldKind::Bit) return true;
        const Refusal why = m_codec.check(f, m_view.text(f.control));
        if (why == Refusal::None) return true;
        refuse(f, why);
        return false;
    };
    for (const Field& f : block.fields)
        if (block.inImage(f) && !checkOne(f)) return false;
    for (const ExtraFrame& extra : block.extras)
        if (const Field* f = block.field(extra.control); f && !checkOne(*f)) return false;
    return true;
}

QString PageEngine::fieldValue(const Field& f) const {
    if (f.kind == FieldKind::Bit)
        return m_view.isChecked(f.control1) ? QStringLiteral("1") : QStringLiteral("0");
    return m_view.text(f.control);
}

QString PageEngine::fieldCaption(const Field& f) const {
    QString caption = m_view.caption(f.label);
    caption.remove(QRegularExpression(QStringLiteral("[:：]\\s*$")));
    if (f.kind == FieldKind::Bit) caption += QStringLiteral(" (%1)").arg(f.control);
    return caption.trimmed().isEmpty() ? f.control : caption.trimmed();
}

QString PageEngine::writtenDetail(int b) const {
    const Block& block = m_page.blocks.at(b);
    const auto read = m_lastRead.constFind(b);
    QStringList parts;
    for (const Field& f : block.fields) {
        const QString now = fieldValue(f);
        if (read != m_lastRead.constEnd() && read->contains(f.control)) {
            const QString before = read->value(f.control);
            if (before != now) parts << QStringLiteral("%1: %2 → %3").arg(fieldCaption(f), before, now);
        } else {
            parts << QStringLiteral("%1 = %2").arg(fieldCaption(f), now);
        }
    }
    const QString title = m_services.messages.text(m_page.titleKey);
    QString head = QStringLiteral("%1 (%2), block %3").arg(title, m_page.window).arg(b + 1);
    if (parts.isEmpty()) return head + QStringLiteral(": no value changed since the last read");
    return head + QStringLiteral(": ") + parts.join(QStringLiteral("; "));
}

void PageEngine::refuse(const Field& f, Refusal why) {
    QString caption = m_view.caption(f.label);
    caption.remove(QRegularExpression(QStringLiteral("[:：]\\s*$")));
    QString text;
    switch (why) {
        case Refusal::Range:
            text = fill(m_services.messages.text(QStringLiteral("pgrange")),
                        {caption, FieldCodec::rangeLow(f), FieldCodec::rangeHigh(f)});
            break;
        case Refusal::Phone:
            text = fill(m_services.messages.text(QStringLiteral("pgphone")), {caption});
            break;
        default:
            text = fill(m_services.messages.text(QStringLiteral("pgname")), {caption});
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
        // A bit field sets its bit in its byte; bits without a field (and an unchecked pair) are 0.
        quint32 byte = link::ParseHex(image.mid(at, 2));
        if (m_view.isChecked(f.control1)) byte |= 1u << f.bit;
        image.replace(at, 2, link::ToHex(byte, 2));
    }
    return image;
}

void PageEngine::write(int b) {
    if (m_busy) return;
    const Block& block = m_page.blocks.at(b);
    if (!checkFields(block)) return;  // refused before anything is sent
    m_busy = true;
    m_view.setReadWriteEnabled(false);
    m_services.poll.setPollState(1);
    link::ControllerLink& link = m_services.link;
    try {
        const QString image = blockImage(block);
        m_view.showProgress(block.progressMax);
        m_view.processEvents();
        {
            monitor::ExclusiveExchange exchange(m_services.poll);
            for (int k = 0; k < block.frames; ++k) {
                link.PageWrite(QStringLiteral("0007") + link::ToHex(quint32(block.start + 2 * k), 4) +
                               image.mid(4 * k, 4));
                m_view.setProgress(4 * k + 1);
                m_view.processEvents();
            }
            for (const ExtraFrame& extra : block.extras) {
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
        }
        m_view.hideProgress();
        if (m_services.written) m_services.written(writtenDetail(b));
        QHash<QString, QString>& stored = m_lastRead[b];  // what the controller holds now
        for (const Field& f : block.fields) stored.insert(f.control, fieldValue(f));
        showMessage("dl18");  // writes are not acknowledged: a read shows what the controller stored
    } catch (const link::LinkError& e) {
        m_view.hideProgress();
        m_services.prompter.error(e.message());
    }
    finishOperation();
}

}  // namespace tarsyn::pages
