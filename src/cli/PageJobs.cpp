#include "cli/PageJobs.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QTemporaryDir>
#include <memory>
#include <vector>

#include "cli/HeadlessPageView.h"
#include "cli/Options.h"
#include "cli/Session.h"
#include "pages/FieldCodec.h"
#include "pages/PageEngine.h"
#include "pages/PageTable.h"

namespace tarsyn::cli {

namespace {

const QString kIniFile = QStringLiteral("system.ini");

struct NamedPage {
    const char* name;
    const pages::Page& (*page)();
};

const NamedPage kPages[] = {
    {"delays", pages::delayPage},     {"curves", pages::curvePage},       {"system", pages::systemPage},
    {"bits", pages::controlBitsPage}, {"limits", pages::alarmLimitsPage}, {"sms", pages::smsPage},
};

/// One block of one of the pages a job works on.
struct BlockRef {
    int unit = 0;
    int block = 0;
};

/// The program's page engines on a private folder: its system.ini is what the windows' "save to
/// file" writes and "load from file" reads, so a backup, a page printed by `page read` and a file
/// for `page write` are all system.ini's page sections, checked and encoded by the same engine.
class PageWork {
public:
    PageWork(Session& session, const QVector<const pages::Page*>& pages)
        : m_session(session), m_folder(m_dir.path(), session.settings().codePage) {
        // The engines' success messages would only repeat what the tool reports itself.
        session.prompter().setQuiet({session.message("pgread"), session.message("pgfileloaded"),
                                     session.message("pgfilesaved"), session.message("pgverified")});
        const config::IniSection translations = session.translations();
        for (const pages::Page* page : pages) {
            Unit unit;
            unit.page = page;
            if (m_progressLabel.isEmpty()) m_progressLabel = session.messages().text(page->titleKey);
            unit.view = std::make_unique<HeadlessPageView>(
                *page, translations, [this](int position, int maximum) { progress(position, maximum); });
            pages::PageServices services{session.link(), session.poll(), m_folder, session.messages(),
                                         session.prompter()};
            services.controller = [&session] { return session.portName(); };
            unit.engine = std::make_unique<pages::PageEngine>(*page, *unit.view, services);
            m_units.push_back(std::move(unit));
        }
    }

    ~PageWork() { m_session.progress(m_progressLabel, -1, 0); }

    /// The progress of every block of a job on one bar under one label, counting up once from 0 to
    /// `total` (the sum of the blocks' own bars), rather than from 0 again for every block.
    void beginProgress(const QString& label, int total) {
        if (!label.isEmpty()) m_progressLabel = label;
        m_progressDone = 0;
        m_progressTotal = total;
    }
    /// The bars of reading `refs`: each block's wait in steps (at least --timeout's).
    int readProgress(const QVector<BlockRef>& refs) const {
        int total = 0;
        for (const BlockRef& ref : refs) total += qMax(block(ref).steps, m_session.settings().timeoutMs);
        return total;
    }
    /// The bars of writing `refs`.
    int writeProgress(const QVector<BlockRef>& refs) const {
        int total = 0;
        for (const BlockRef& ref : refs) total += block(ref).progressMax;
        return total;
    }

    bool ready() const { return m_dir.isValid(); }
    config::Config& folder() { return m_folder; }

    /// Makes `file` the folder's system.ini; false (after the message) when it cannot be read.
    bool useFile(const QString& file) {
        QFile in(file);
        QSaveFile out(m_folder.filePath(kIniFile));
        QByteArray bytes;
        if (!in.open(QIODevice::ReadOnly)) {
            m_session.prompter().error(
                m_session.text("ctlfile", "Cannot use the file %1: %2", {file, in.errorString()}));
            return false;
        }
        bytes = in.readAll();
        if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size() || !out.commit()) {
            m_session.prompter().error(
                m_session.text("ctlfile", "Cannot use the file %1: %2", {file, out.errorString()}));
            return false;
        }
        m_session.prompter().setIniFile(file);  // the engines' "system.ini" is this file
        return true;
    }

    /// The first field of `refs` whose text the file holds is one its field refuses ("Ys.ys3 = 300"),
    /// or empty (a refusal of two fields together, an upper limit below its lower one).
    QString refusedField(const QVector<BlockRef>& refs) const {
        const QString language = m_session.settings().language;
        const pages::FieldCodec codec(m_folder, [language] { return language; });
        for (const BlockRef& ref : refs) {
            const pages::Block& b = block(ref);
            const config::IniSection saved = m_folder.readSection(kIniFile, b.section);
            for (const pages::Field* f : b.keyedFields())
                if (f->kind != pages::FieldKind::Bit && saved.contains(f->key) &&
                    codec.check(*f, m_units[size_t(ref.unit)].view->text(f->control)) != pages::Refusal::None)
                    return QStringLiteral("%1.%2 = %3")
                        .arg(b.section, f->key, saved.value(f->key, QString()));
        }
        return {};
    }

    QVector<BlockRef> allBlocks() const {
        QVector<BlockRef> refs;
        for (int u = 0; u < int(m_units.size()); ++u)
            for (int b = 0; b < m_units[size_t(u)].page->blocks.size(); ++b) refs.append({u, b});
        return refs;
    }

    /// The blocks of which the folder's system.ini holds at least one key.
    QVector<BlockRef> blocksInFile() const {
        QVector<BlockRef> refs;
        for (const BlockRef& ref : allBlocks()) {
            const pages::Block& block = this->block(ref);
            const config::IniSection saved = m_folder.readSection(kIniFile, block.section);
            for (const pages::Field* f : block.keyedFields())
                if (saved.contains(f->key)) {
                    refs.append(ref);
                    break;
                }
        }
        return refs;
    }

    const pages::Page& page(const BlockRef& ref) const { return *m_units[size_t(ref.unit)].page; }
    const pages::Block& block(const BlockRef& ref) const { return page(ref).blocks.at(ref.block); }
    HeadlessPageView& view(const BlockRef& ref) { return *m_units[size_t(ref.unit)].view; }
    pages::PageEngine& engine(const BlockRef& ref) { return *m_units[size_t(ref.unit)].engine; }

    /// Reads each block from the controller; false at the first that failed (its error shown).
    bool read(const QVector<BlockRef>& refs) {
        beginProgress(QString(), readProgress(refs));
        for (const BlockRef& ref : refs) {
            const int errors = m_session.prompter().errors();
            engine(ref).read(ref.block);
            if (m_session.prompter().errors() != errors) return false;
        }
        return true;
    }

    /// Saves each block into the folder's system.ini, as the windows' "save to file" does.
    bool save(const QVector<BlockRef>& refs) {
        for (const BlockRef& ref : refs) {
            const int errors = m_session.prompter().errors();
            engine(ref).save(ref.block);
            if (m_session.prompter().errors() != errors) return false;
        }
        return true;
    }

    /// Loads each block from the folder's system.ini; false when one was refused (missing keys).
    bool load(const QVector<BlockRef>& refs) {
        for (const BlockRef& ref : refs) {
            const int before = view(ref).changes();
            engine(ref).load(ref.block);
            if (view(ref).changes() == before) return false;
        }
        return true;
    }

    /// The windows' checks for every block before the first frame of any of them goes out.
    bool checkWrite(const QVector<BlockRef>& refs) {
        for (const BlockRef& ref : refs)
            if (!engine(ref).checkWrite(ref.block)) return false;
        return true;
    }

    /// Writes and reads back each block: kExitOk when the controller holds every value sent,
    /// kExitDiffers when it holds some field differently (the engine names them), kExitLink when it
    /// did not answer (the remaining blocks are not tried).
    int write(const QVector<BlockRef>& refs) {
        beginProgress(QString(), writeProgress(refs));
        int worst = kExitOk;
        for (const BlockRef& ref : refs) {
            engine(ref).write(ref.block);
            const auto outcome = engine(ref).lastWrite();
            if (outcome == pages::PageEngine::Outcome::Verified) continue;
            if (outcome == pages::PageEngine::Outcome::Differs) {
                worst = qMax(worst, int(kExitDiffers));  // the engine named each field
                continue;
            }
            return kExitLink;  // no answer to the read-back, or the port failed (shown by the engine)
        }
        return worst;
    }

    QByteArray iniBytes() const {
        QFile file(m_folder.filePath(kIniFile));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

private:
    // One block's bar: shown from 0 to its maximum, then hidden (-1, maybe more than once): it then
    // counts as done.
    void progress(int position, int maximum) {
        if (position < 0) {
            if (m_barOpen) m_progressDone += m_barMaximum;
            m_barOpen = false;
            return;
        }
        m_barOpen = true;
        m_barMaximum = maximum;
        const int total = qMax(m_progressTotal, m_progressDone + maximum);
        m_session.progress(m_progressLabel, qMin(m_progressDone + position, total), total);
    }

    struct Unit {
        const pages::Page* page = nullptr;
        std::unique_ptr<HeadlessPageView> view;
        std::unique_ptr<pages::PageEngine> engine;
    };

    Session& m_session;
    QTemporaryDir m_dir;
    config::Config m_folder;
    std::vector<Unit> m_units;
    QString m_progressLabel;
    int m_progressDone = 0;
    int m_progressTotal = 0;
    bool m_barOpen = false;
    int m_barMaximum = 0;
};

QVector<const pages::Page*> allPages() {
    QVector<const pages::Page*> list;
    for (const NamedPage& p : kPages) list << &p.page();
    return list;
}

bool noFolder(Session& session, const PageWork& work) {
    if (work.ready()) return false;
    session.prompter().error(session.text("ctltemp", "No temporary folder could be made. Nothing was done."));
    return true;
}

/// Loads and checks the blocks `refs` of `file`; kExitOk when all may be written.
int loadAndCheck(Session& session, PageWork& work, const QString& file, const QVector<BlockRef>& refs) {
    if (!work.load(refs)) {
        session.prompter().error(session.text(
            "ctlmissing", "%1 does not hold every value of its sections. Nothing was sent.", {file}));
        return kExitDiffers;
    }
    if (!work.checkWrite(refs)) {
        const QString field = work.refusedField(refs);
        if (!field.isEmpty())
            session.prompter().error(
                session.text("ctlrefusedkey", "%1: %2 was refused. Nothing was sent.", {file, field}));
        else
            session.prompter().error(
                session.text("ctlrefused", "%1: a value was refused. Nothing was sent.", {file}));
        return kExitDiffers;
    }
    return kExitOk;
}

QString fieldCaption(HeadlessPageView& view, const pages::Field& f) {
    QString caption = view.caption(f.label).trimmed();
    while (caption.endsWith(QLatin1Char(':')) || caption.endsWith(QChar(0xFF1A))) caption.chop(1);
    return caption.trimmed();
}

QString fieldName(const PageWork& work, HeadlessPageView& view, const BlockRef& ref, const pages::Field& f) {
    return QStringLiteral("%1.%2 (%3)").arg(work.block(ref).section, f.key, fieldCaption(view, f));
}

/// A field the controller holds differently from the file.
struct Difference {
    BlockRef ref;
    const pages::Field* field = nullptr;
    QString name;  ///< "Ys.ys2 (Start delay)"
    QString caption;
    QString inController;
    QString inFile;
};

/// The fields of `refs` that `held` (read from the controller) and `saved` (loaded from the file)
/// hold differently, compared as the controller stores them: "12.3" in the file and 12.30 read are
/// the same value. `fields` counts the fields compared.
QVector<Difference> differences(Session& session, PageWork& saved, PageWork& held,
                                const QVector<BlockRef>& refs, int& fields) {
    const QString language = session.settings().language;
    const pages::FieldCodec codec(saved.folder(), [language] { return language; });
    QVector<Difference> found;
    fields = 0;
    for (const BlockRef& ref : refs) {
        HeadlessPageView& fileView = saved.view(ref);
        HeadlessPageView& controllerView = held.view(ref);
        for (const pages::Field& f : saved.block(ref).fields) {
            ++fields;
            QString inController, inFile;
            if (f.kind == pages::FieldKind::Bit) {
                const bool c = controllerView.isChecked(f.control1), s = fileView.isChecked(f.control1);
                if (c == s) continue;
                inController = controllerView.caption(c ? f.control1 : f.control);
                inFile = fileView.caption(s ? f.control1 : f.control);
            } else {
                inController = controllerView.text(f.control);
                inFile = fileView.text(f.control);
                if (codec.check(f, inFile) == pages::Refusal::None &&
                    codec.check(f, inController) == pages::Refusal::None &&
                    codec.encode(f, inFile) == codec.encode(f, inController))
                    continue;
            }
            found.append({ref, &f, fieldName(saved, fileView, ref, f), fieldCaption(fileView, f),
                          inController, inFile});
        }
    }
    return found;
}

/// The stored words of a block that must go out for the controller to hold the file's values: the
/// frames whose word differs between the two images, and the extra frames whose field differs.
pages::PageEngine::Words differingWords(PageWork& saved, PageWork& held, const BlockRef& ref,
                                        const QVector<Difference>& found) {
    pages::PageEngine::Words words;
    const pages::Block& block = saved.block(ref);
    const QString want = saved.engine(ref).blockImage(block);
    const QString have = held.engine(ref).blockImage(block);
    for (int k = 0; k < block.frames; ++k)
        if (want.mid(4 * k, 4) != have.mid(4 * k, 4)) words.frames.insert(k);
    for (const pages::ExtraFrame& extra : block.extras)
        for (const Difference& d : found)
            if (d.ref.unit == ref.unit && d.ref.block == ref.block && d.field->control == extra.control)
                words.extras.insert(extra.control);
    return words;
}

}  // namespace

const pages::Page* PageByName(const QString& name) {
    for (const NamedPage& p : kPages)
        if (name == QLatin1String(p.name)) return &p.page();
    return nullptr;
}

QStringList PageNames() {
    QStringList names;
    for (const NamedPage& p : kPages) names << QLatin1String(p.name);
    return names;
}

int PageRead(Session& session, const pages::Page& page) {
    PageWork work(session, {&page});
    if (noFolder(session, work)) return kExitLink;
    const QVector<BlockRef> refs = work.allBlocks();
    if (!work.read(refs)) return kExitLink;
    if (!work.save(refs)) return kExitLink;
    session.out() += work.iniBytes();
    return kExitOk;
}

int PageWrite(Session& session, const pages::Page& page, const QString& file) {
    PageWork work(session, {&page});
    if (noFolder(session, work)) return kExitLink;
    if (!work.useFile(file)) return kExitUsage;  // a file error, never "differs"
    const QVector<BlockRef> refs = work.allBlocks();
    if (const int code = loadAndCheck(session, work, file, refs)) return code;
    const int code = work.write(refs);
    if (code == kExitOk)
        session.prompter().information(
            session.text("ctlwritten", "%1 written and verified.", {session.messages().text(page.titleKey)}));
    return code;
}

int Backup(Session& session, const QString& file) {
    PageWork work(session, allPages());
    work.beginProgress(file, 0);  // every page of the file on one bar
    if (noFolder(session, work)) return kExitLink;
    const QVector<BlockRef> refs = work.allBlocks();
    if (!work.read(refs) || !work.save(refs)) return kExitLink;
    // Written whole or not at all: a backup cut short would restore as zeros.
    const QByteArray bytes = work.iniBytes();
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size() || !out.commit()) {
        session.prompter().error(
            session.text("ctlfile", "Cannot use the file %1: %2", {file, out.errorString()}));
        return kExitDiffers;
    }
    session.prompter().information(session.text("ctlbackup", "Backed up to %1.", {file}));
    return kExitOk;
}

int Restore(Session& session, const QString& file, const RestoreMode& mode) {
    PageWork work(session, allPages());
    work.beginProgress(file, 0);  // every page of the file on one bar
    if (noFolder(session, work)) return kExitLink;
    if (!work.useFile(file)) return kExitUsage;  // a file error, never "differs"
    const QVector<BlockRef> refs = work.blocksInFile();
    if (refs.isEmpty()) {
        session.prompter().error(
            session.text("ctlnosection", "%1 holds no parameter page section. Nothing was done.", {file}));
        return kExitUsage;
    }
    if (const int code = loadAndCheck(session, work, file, refs)) return code;

    // What goes out: every word, or (by default) the words the controller holds differently, read
    // first; a block without one is not written at all.
    QVector<QPair<BlockRef, pages::PageEngine::Words>> plan;
    QStringList listed;  // what a dry run prints
    if (mode.all) {
        for (const BlockRef& ref : refs) {
            plan.append({ref, work.engine(ref).allWords(ref.block)});
            for (const pages::Field& f : work.block(ref).fields)
                listed << QStringLiteral("%1: file %2")
                              .arg(fieldName(work, work.view(ref), ref, f),
                                   f.kind == pages::FieldKind::Bit
                                       ? work.view(ref).caption(
                                             work.view(ref).isChecked(f.control1) ? f.control1 : f.control)
                                       : work.view(ref).text(f.control));
        }
    } else {
        PageWork held(session, allPages());
        held.beginProgress(file, 0);
        if (noFolder(session, held)) return kExitLink;
        if (!held.read(refs)) return kExitLink;
        int fields = 0;
        const QVector<Difference> found = differences(session, work, held, refs, fields);
        for (const Difference& d : found)
            listed << QStringLiteral("%1: controller %2, file %3").arg(d.name, d.inController, d.inFile);
        for (const BlockRef& ref : refs) {
            const pages::PageEngine::Words words = differingWords(work, held, ref, found);
            if (!words.frames.isEmpty() || !words.extras.isEmpty()) plan.append({ref, words});
        }
    }
    int wordCount = 0;
    QVector<BlockRef> planned;
    for (const auto& [ref, words] : plan) {
        wordCount += int(words.frames.size() + words.extras.size());
        planned << ref;
    }
    if (mode.dryRun) {
        for (const QString& line : listed) session.out() += (line + QLatin1Char('\n')).toUtf8();
        session.prompter().information(
            session.text("ctldryrun", "Dry run: %1 stored words would be written from %2; nothing was sent.",
                         {QString::number(wordCount), file}));
        return plan.isEmpty() ? kExitOk : kExitDiffers;
    }
    if (plan.isEmpty()) {
        session.prompter().information(session.text(
            "ctlsame", "The controller holds every value of %1 already: nothing was written.", {file}));
        return kExitOk;
    }
    QStringList sections;
    for (const auto& [ref, words] : plan)
        if (!sections.contains(work.block(ref).section)) sections << work.block(ref).section;
    const QString question = session.text("ctlask", "Write %1 (sections %2) to the controller on %3?",
                                          {file, sections.join(QStringLiteral(", ")), session.portName()});
    session.prompter().setAssumeYes(session.settings().yes);
    if (!session.prompter().confirm(question)) {
        session.prompter().error(
            session.text("ctlnoconfirm", "Not confirmed (give --yes). Nothing was sent."));
        return kExitDiffers;
    }
    int worst = kExitOk;
    work.beginProgress(file, work.writeProgress(planned));
    for (const auto& [ref, words] : plan) {
        work.engine(ref).write(ref.block, words);
        const auto outcome = work.engine(ref).lastWrite();
        if (outcome == pages::PageEngine::Outcome::Verified) continue;
        if (outcome == pages::PageEngine::Outcome::Differs) {
            worst = qMax(worst, int(kExitDiffers));  // the engine named each field
            continue;
        }
        return kExitLink;  // no answer to the read-back, or the port failed (shown by the engine)
    }
    if (worst == kExitOk)
        session.prompter().information(session.text("ctlrestored", "Restored from %1 and verified.", {file}));
    return worst;
}

int Diff(Session& session, const QString& file, bool json) {
    PageWork saved(session, allPages());
    PageWork held(session, allPages());
    held.beginProgress(file, 0);
    if (noFolder(session, saved) || noFolder(session, held)) return kExitLink;
    // Anything wrong with the file is a usage error (2): "diff … || echo changed" must not take a
    // missing file for a changed controller.
    if (!saved.useFile(file)) return kExitUsage;
    const QVector<BlockRef> refs = saved.blocksInFile();
    if (refs.isEmpty()) {
        session.prompter().error(
            session.text("ctlnosection", "%1 holds no parameter page section. Nothing was done.", {file}));
        return kExitUsage;
    }
    if (!saved.load(refs)) {
        session.prompter().error(session.text(
            "ctlmissingdiff", "%1 does not hold every value of its sections. Nothing was compared.", {file}));
        return kExitUsage;
    }
    if (!held.read(refs)) return kExitLink;

    int fields = 0;
    const QVector<Difference> found = differences(session, saved, held, refs, fields);
    if (json) {
        QJsonArray list;
        for (const Difference& d : found)
            list.append(QJsonObject{{QStringLiteral("section"), saved.block(d.ref).section},
                                    {QStringLiteral("key"), d.field->key},
                                    {QStringLiteral("caption"), d.caption},
                                    {QStringLiteral("controller"), d.inController},
                                    {QStringLiteral("file"), d.inFile}});
        const QJsonObject o{{QStringLiteral("port"), session.portName()},
                            {QStringLiteral("file"), file},
                            {QStringLiteral("fields"), fields},
                            {QStringLiteral("differences"), list}};
        session.out() += QJsonDocument(o).toJson(QJsonDocument::Indented);
    } else {
        for (const Difference& d : found)
            session.out() +=
                QStringLiteral("%1: controller %2, file %3\n").arg(d.name, d.inController, d.inFile).toUtf8();
    }
    session.prompter().information(
        session.text("ctldiffcount", "%1 of %2 fields differ from %3.",
                     {QString::number(found.size()), QString::number(fields), file}));
    return found.isEmpty() ? kExitOk : kExitDiffers;
}

}  // namespace tarsyn::cli
