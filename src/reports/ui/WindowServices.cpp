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
    QString error;
    if (widgets::SaveBitmap(picture, services.picturePath, &error))
        services.prompter->information(QStringLiteral("cx.tmp ") + services.messages(QStringLiteral("dl18")));
    else
        services.prompter->error(error);
}

void PrintPicture(const WindowServices& services, const QImage& picture, int scale, QWidget* parent) {
    QString error;
    if (!widgets::PrintPicture(picture, scale, parent, &error, services.choosePdf) && !error.isEmpty())
        services.prompter->error(error);
}

}  // namespace tarsyn::reports::ui
