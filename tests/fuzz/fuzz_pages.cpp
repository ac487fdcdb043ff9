// Every parameter page's read of a block, through the one page engine, with the reply the fuzzer
// makes. Promises: a reply that fails the reply check (or a field's range: OutOfRange), or is shorter
// than the block's minimum, changes no control and never says "pgread"; a reply that passes fills every field
// (then "pgread"), number fields showing the value their characters spell; and what was read, encoded again
// as the block image and read back, shows the same texts. A text the controller cannot store refuses the
// whole write, and nothing is sent.
// Input: one byte chooses the page and block (the SMS page twice: in "Chinese" and in another
// language) and, with its top bit, whether the rest is the reply as it arrives or the data digits
// of a well-framed reply.
#include <memory>

#include "FuzzCheck.h"
#include "PageFixture.h"
#include "link/Codec.h"
#include "pages/PageTable.h"

using namespace tarsyn;
using pages::Field;
using pages::FieldKind;

namespace {

struct Target {
    test::PageFixture* fixture;
    int block;
};

QList<Target> targets() {
    static std::vector<std::unique_ptr<test::PageFixture>> fixtures;
    static QList<Target> list;
    if (!list.isEmpty()) return list;
    const QList<QPair<const pages::Page*, QString>> pages{
        {&pages::delayPage(), QStringLiteral("English")},
        {&pages::curvePage(), QStringLiteral("English")},
        {&pages::systemPage(), QStringLiteral("English")},
        {&pages::controlBitsPage(), QStringLiteral("English")},
        {&pages::alarmLimitsPage(), QStringLiteral("English")},
        {&pages::smsPage(), QStringLiteral("English")},
        {&pages::smsPage(), QStringLiteral("Chinese")}};
    for (const auto& [page, language] : pages) {
        fixtures.push_back(std::make_unique<test::PageFixture>(*page, language));
        for (int b = 0; b < page->blocks.size(); ++b) list.append({fixtures.back().get(), b});
    }
    return list;
}

void reset(test::PageFixture& f) {
    f.view.texts.clear();
    f.view.checked.clear();
    f.prompter.shown.clear();
    f.port.written.clear();
    f.port.incoming.clear();
}

// The characters a number field is read from: its width, or what is left of it at the reply's end.
QString fieldDigits(const pages::Block& block, const Field& f, const QString& reply) {
    return reply.mid(block.position(f) - 1, f.width());
}

// True when every field of the block can be decoded from `reply` (the decoder must then not fail).
bool decodable(const pages::Block& block, const Field& f, const QString& reply, bool chinese) {
    const QString digits = fieldDigits(block, f, reply);
    switch (f.kind) {
        case FieldKind::Byte:
        case FieldKind::Word:
        case FieldKind::Hundredths:
        case FieldKind::Tenths:
            return !digits.isEmpty() && fuzz::allHex(digits);
        case FieldKind::Bit: {
            const QString byte = reply.mid(block.position(f) - 1, 2);
            return byte.size() == 2 && fuzz::allHex(byte);
        }
        case FieldKind::Phone:
            return true;  // its characters are copied up to the first "F"
        case FieldKind::StationName: {
            if (!chinese) {  // sixteen pairs; the last may be cut to one digit
                const QString name = reply.mid(block.position(f) - 1, 32);
                return name.size() >= 31 && fuzz::allHex(name);
            }
            QString groups = reply.mid(block.position(f) - 1, 32);  // whole groups of four only
            groups.truncate(groups.size() - groups.size() % 4);
            return fuzz::allHex(groups);
        }
    }
    return true;
}

bool isWrite(const QString& frame) {
    return frame.startsWith(QLatin1String("0007")) || frame.startsWith(QLatin1String("0006"));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Input in(data, size);
    const QList<Target> all = targets();
    const quint8 choice = in.byte();
    const Target t = all.at((choice & 0x7F) % all.size());
    test::PageFixture& f = *t.fixture;
    const pages::Block& block = f.engine->page().blocks.at(t.block);
    const bool chinese = f.messages.language() == QLatin1String("Chinese");

    reset(f);
    f.reply = (choice & 0x80) ? fuzz::framedReply(block.request(), in.rest()) : in.restAsLatin1();
    f.engine->read(t.block);
    const QString reply = f.link.LastReply();
    const bool read = f.prompter.of("info").contains(QStringLiteral("pgread"));
    const bool failed = !f.prompter.of("error").isEmpty();

    if (f.link.LastVerdict() != link::ReplyVerdict::Ok || reply.size() < block.minReply) {
        FUZZ_REQUIRE(f.view.texts.isEmpty() && f.view.checked.isEmpty(),
                     "a refused reply changed a control: " + f.reply);
        FUZZ_REQUIRE(!read, "a refused reply was read: " + f.reply);
        return 0;
    }
    bool whole = true;
    for (const Field& field : block.fields) whole = whole && decodable(block, field, reply, chinese);
    FUZZ_REQUIRE(whole && read && !failed, QStringLiteral("decodable %1, read %2, error %3 for %4: %5")
                                               .arg(whole)
                                               .arg(read)
                                               .arg(failed)
                                               .arg(reply, f.prompter.shown.join('|')));

    for (const Field& field : block.fields) {
        const QString digits = fieldDigits(block, field, reply);
        const QString shown = f.view.texts.value(field.control);
        if (field.kind == FieldKind::Byte || field.kind == FieldKind::Word)
            FUZZ_REQUIRE(shown == QString::number(fuzz::valueOf(digits)),
                         field.control + ": " + shown + " from " + digits);
        if (field.kind == FieldKind::Phone)
            FUZZ_REQUIRE(shown == digits.left(digits.indexOf(QLatin1Char('F'))),
                         field.control + ": " + shown);
        if (field.kind == FieldKind::Bit) {
            const bool set = (fuzz::valueOf(reply.mid(block.position(field) - 1, 2)) >> field.bit) & 1u;
            FUZZ_REQUIRE(f.view.isChecked(set ? field.control1 : field.control), field.control);
        }
    }

    // A text the controller cannot store: the whole write is refused and nothing is sent.
    const pages::FieldCodec codec(f.config, [&f] { return f.messages.language(); });
    bool storable = true;
    for (const Field& field : block.fields)
        if (block.inImage(field) && field.kind != FieldKind::Bit)
            storable =
                storable && codec.check(field, f.view.texts.value(field.control)) == pages::Refusal::None;
    if (!storable) {
        f.port.written.clear();
        f.engine->write(t.block);
        for (const QString& frame : f.port.written)
            FUZZ_REQUIRE(!isWrite(frame), "a refused write sent " + frame);
        return 0;
    }

    // Round trip: the image of what was read, read back, shows the same texts.
    const QString image = f.engine->blockImage(block);
    FUZZ_REQUIRE(image.size() == 4 * block.frames, image);
    // Bytes the page reads but never shows may hold anything; the controller would send digits.
    QString stored = reply.mid(6, 2 * block.bytes).leftJustified(2 * block.bytes, QLatin1Char('0'));
    for (QChar& c : stored)
        if (fuzz::hexDigit(c) < 0) c = QLatin1Char('0');
    stored.replace(0, image.size(), image);
    const QString request = QStringLiteral("0004") + link::ToHex(quint32(block.bytes), 2) + stored;
    const QHash<QString, QString> firstTexts = f.view.texts;
    const QSet<QString> firstChecked = f.view.checked;
    reset(f);
    f.reply = link::BuildFrame(request);
    f.engine->read(t.block);
    FUZZ_REQUIRE(f.prompter.of("info").contains(QStringLiteral("pgread")),
                 "the block's own image was not read: " + f.reply);
    for (const Field& field : block.fields) {
        if (!block.inImage(field)) continue;
        if (field.kind == FieldKind::Bit) {
            for (const QString& radio : {field.control, field.control1})
                FUZZ_REQUIRE(f.view.isChecked(radio) == firstChecked.contains(radio), radio);
        } else {
            FUZZ_REQUIRE(f.view.texts.value(field.control) == firstTexts.value(field.control),
                         QStringLiteral("%1: %2 read back as %3 (image %4)")
                             .arg(field.control, firstTexts.value(field.control),
                                  f.view.texts.value(field.control), image));
        }
    }
    return 0;
}
