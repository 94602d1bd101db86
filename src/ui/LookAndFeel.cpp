#include "ui/LookAndFeel.h"

#include <QApplication>
#include <QFile>
#include <QFont>
#include <QFontDatabase>
#include <QStyleFactory>

namespace orvane::ui {

QFont programFont() {
    QFont font;
    font.setFamilies({QStringLiteral("Tahoma"), QStringLiteral("Noto Sans CJK SC")});
    font.setPointSize(8);
    return font;
}

void applyLookAndFeel() {
    // Debian's Tahoma lives where fontconfig does not look.
    for (const char* file :
         {"/usr/share/wine/fonts/tahoma.ttf", "/usr/share/wine/fonts/tahomabd.ttf"}) {
        if (QFile::exists(QLatin1String(file)))
            QFontDatabase::addApplicationFont(QLatin1String(file));
    }
    // Fusion draws Chinese group-box and tab titles whole.
    if (QStyle* fusion = QStyleFactory::create(QStringLiteral("Fusion")))
        QApplication::setStyle(fusion);
    QApplication::setFont(programFont());
}

} // namespace orvane::ui
