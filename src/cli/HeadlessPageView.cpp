#include "cli/HeadlessPageView.h"

#include "config/Config.h"

namespace tarsyn::cli {

HeadlessPageView::HeadlessPageView(const pages::Page& page, const config::IniSection& translations,
                                   Progress progress)
    : m_progress(std::move(progress)) {
    // The names the window would show: a refusal names its field by them. Every page translates its
    // labels; only the curve page and the control bits page their group boxes (and the latter its
    // radio buttons), so elsewhere a group box keeps its design-time caption.
    const bool groups = page.window == QLatin1String("TForm7") || page.window == QLatin1String("TForm9");
    auto name = [&](const QString& control, const QString& fallback, bool translate = true) {
        if (control.isEmpty()) return;
        const QString translated =
            translate ? translations.value(control + QStringLiteral(".Caption"), QString()) : QString();
        m_captions.insert(control, translated.isEmpty() ? fallback : translated);
    };
    for (const pages::Block& block : page.blocks) {
        name(block.group, block.groupCaption, groups);
        for (const pages::Field& f : block.fields) {
            name(f.label, f.caption, f.kind != pages::FieldKind::Bit || groups);
            name(f.unitLabel, f.unitCaption);  // a refusal gives the range in the field's unit
            if (f.kind != pages::FieldKind::Bit) continue;
            name(f.control, f.caption0);
            name(f.control1, f.caption1);
            m_partner.insert(f.control, f.control1);
            m_partner.insert(f.control1, f.control);
        }
    }
}

void HeadlessPageView::setText(const QString& control, const QString& text) {
    m_texts.insert(control, text);
    ++m_changes;
}

void HeadlessPageView::check(const QString& radio) {
    m_checked.insert(radio);
    m_checked.remove(m_partner.value(radio));
    ++m_changes;
}

void HeadlessPageView::uncheckPair(const QString& radio0, const QString& radio1) {
    m_checked.remove(radio0);
    m_checked.remove(radio1);
}

void HeadlessPageView::showProgress(int max) {
    m_maximum = max;
    if (m_progress) m_progress(0, max);
}

void HeadlessPageView::setProgress(int position) {
    if (m_progress) m_progress(position, m_maximum);
}

void HeadlessPageView::hideProgress() {
    if (m_progress) m_progress(-1, m_maximum);
}

}  // namespace tarsyn::cli
