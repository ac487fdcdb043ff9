#include "station/StationView.h"

namespace tarsyn::station {

// Panels and indicators are the readings, kept as numbers in the cycle's LiveReading: only passed on.
void StationView::setPanelText(const QString& panel, const QString& text) {
    if (m_drawn) m_drawn->setPanelText(panel, text);
}

void StationView::setIndicatorImage(const QString& indicator, int image) {
    if (m_drawn) m_drawn->setIndicatorImage(indicator, image);
}

void StationView::setConnectionImage(int image) {
    m_connectionImage = image;
    if (m_drawn) m_drawn->setConnectionImage(image);
}

void StationView::setMode(const QString& label, bool rotation) {
    m_modeLabel = label;
    m_rotation = rotation;
    if (m_drawn) m_drawn->setMode(label, rotation);
}

void StationView::setEntryTexts(const QString& port, const QString& remark, const QString& notes) {
    m_port = port;
    m_remark = remark;
    m_notes = notes;
    if (m_drawn) m_drawn->setEntryTexts(port, remark, notes);
}

void StationView::setPortText(const QString& port) {
    m_port = port;
    if (m_drawn) m_drawn->setPortText(port);
}

void StationView::setPortProblem(const QString& text) {
    m_portProblem = text;
    if (m_drawn) m_drawn->setPortProblem(text);
}

}  // namespace tarsyn::station
