#pragma once

#include <QString>

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
};

/// The one engine of every parameter page: load, save, read, write and cancel for any block of a
/// page table, on the controls of a PageView.
///
/// Reads and writes run on the caller's thread inside the exclusive-exchange guard, so the poll
/// timer is stopped meanwhile and restarts on every way out, an error included. Before a write every
/// field of the block is checked, and a text the controller cannot store (not a number, out of its
/// range, a phone with a non-digit, a name outside the code page) refuses the whole write with a
/// message naming the field; nothing is sent. An exchange that fails (port not re-opened, serial
/// error, a reply field that is not hexadecimal) is reported once and the page is ready again. A
/// cancel pressed during an exchange takes effect when the exchange has finished.
class PageEngine {
public:
    PageEngine(const Page& page, PageView& view, const PageServices& services);

    const Page& page() const { return m_page; }

    void load(int block);
    void save(int block);
    void read(int block);
    void write(int block);
    void cancel();
    /// Any button of the page, by its objectName ("btnsz3").
    void press(const QString& button);

    bool busy() const { return m_busy; }

    /// The block image: each image field's stored text in address order (numbers must be valid).
    QString blockImage(const Block& block) const;

private:
    bool checkFields(const Block& block);
    void refuse(const Field& field, Refusal why);
    void decode(const Block& block, const QString& reply);
    void finishOperation();
    void showMessage(const char* key);

    const Page& m_page;
    PageView& m_view;
    PageServices m_services;
    FieldCodec m_codec;
    bool m_busy = false;
    bool m_cancelPending = false;
};

}  // namespace tarsyn::pages
