// packgui: the desktop front end of the FOTA pack builder.
#include <QApplication>
#include <QDir>
#include <QFontDatabase>
#include <QIcon>

#include "pack_dialog.h"

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setFont(QFontDatabase::systemFont(QFontDatabase::GeneralFont));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/VYN.ico")));
    // The project store "projects.ini" is opened by its bare name and lives beside the program.
    QDir::setCurrent(QCoreApplication::applicationDirPath());

    FotaPackDialog dialog;
    dialog.show();
    return app.exec();
}
