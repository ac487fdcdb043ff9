#include "reports/ui/WindowServices.h"

#include <QPushButton>

#include "config/Prompter.h"

namespace tarsyn::reports::ui {

QPushButton* NamedButton(const char* name, const QString& text, QWidget* parent) {
    auto* b = new QPushButton(text, parent);
    b->setObjectName(QLatin1String(name));
    b->setAutoDefault(false);
    return b;
}

void SavePicture(const WindowServices& services, const QImage& picture) {
    widgets::SavePictureAsked(picture, services.picturePath, *services.prompter, services.messages);
}

void PrintPictures(const WindowServices& services, const QList<QImage>& pictures, int scale,
                   QWidget* parent) {
    QString error, pdf;
    if (!widgets::PrintPictures(pictures, scale, parent, &error, services.choosePdf, &pdf)) {
        if (!error.isEmpty()) services.prompter->error(error);
    } else if (!pdf.isEmpty()) {
        // Without a printer the pages went into a file: say which, as the report's PDF does.
        services.prompter->information(services.messages(QStringLiteral("pdfwritten")).arg(pdf));
    }
}

}  // namespace tarsyn::reports::ui
