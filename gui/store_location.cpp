#include "store_location.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QString>
#include <QTemporaryFile>

namespace {

// Found by making a file there: Windows answers isWritable() from the read-only attribute
// alone, so a folder under Program Files would pass and every save would then fail.
bool acceptsNewFiles(const QString &dir)
{
    QTemporaryFile probe(QDir(dir).absoluteFilePath(QStringLiteral("projects-probe-XXXXXX")));
    return probe.open();
}

} // namespace

QString projectStorePath(const QString &programDir)
{
    const QString storeName = QStringLiteral("projects.ini");
    // A copy run from its build folder, or unpacked into a folder of its own, keeps its
    // projects with it.
    const QString beside = QDir(programDir).absoluteFilePath(storeName);
    if (QFileInfo::exists(beside) || acceptsNewFiles(programDir))
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
