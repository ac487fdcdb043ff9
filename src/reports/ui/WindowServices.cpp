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
    QString error;
    if (!widgets::PrintPictures(pictures, scale, parent, &error, services.choosePdf) && !error.isEmpty())
        services.prompter->error(error);
}

}  // namespace tarsyn::reports::ui
