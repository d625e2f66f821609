#include "store_location.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QString>

QString projectStorePath(const QString &programDir)
{
    const QString storeName = QStringLiteral("projects.ini");
    // A copy run from its build folder, or unpacked into a folder of its own, keeps its
    // projects with it.
    const QString beside = QDir(programDir).absoluteFilePath(storeName);
    if (QFileInfo::exists(beside) || QFileInfo(programDir).isWritable())
        return beside;
    // An installed program's folder is not the user's to write. QSettings creates this
    // folder on the first save.
    return QDir(QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation))
        .absoluteFilePath(storeName);
}

QString inputStatePath(const QString &storePath)
{
    return QFileInfo(storePath).dir().absoluteFilePath(QStringLiteral("packgui-state.ini"));
}
