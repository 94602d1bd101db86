#include "ui/LookAndFeel.h"

#include <QApplication>
#include <QFile>
#include <QFont>
#include <QFontDatabase>
#include <QLibraryInfo>
#include <QStyleFactory>
#include <QTranslator>

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
    // Qt's own dialogs and buttons speak the program's language, whatever the locale.
    auto* translator = new QTranslator(qApp);
    if (translator->load(QStringLiteral("qtbase_zh_CN"),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(translator);
    else
        delete translator;
}

} // namespace orvane::ui
