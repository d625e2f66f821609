// packgui: the desktop front end of the FOTA pack builder.
#include <QApplication>
#include <QFontDatabase>
#include <QIcon>

#include "pack_dialog.h"
#include "store_location.h"

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    // The per-user store's folder is named after this, whatever the program file is called.
    QApplication::setApplicationName(QStringLiteral("packgui"));
    QApplication::setFont(QFontDatabase::systemFont(QFontDatabase::GeneralFont));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/VYN.ico")));

    // The working directory stays where the user started packgui: relative paths mean what
    // they typed.
    FotaPackDialog dialog(projectStorePath(QCoreApplication::applicationDirPath()));
    dialog.show();
    return app.exec();
}
