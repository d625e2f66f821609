#include "failure_detail.h"

#include <QDir>
#include <QFileInfo>

#include <string>

#include "common/file_identity.h"
#include "path_problem.h"
#include "quarnel.h"

namespace {

constexpr uint32_t sectorSize = 4096;

// The bytes the library was handed, so the questions reach the same file it did.
std::string libraryPath(const QString &path)
{
    return path.toUtf8().toStdString();
}

// The C library speaks the locale's language and encoding.
QString systemReason(const std::string &text)
{
    return QString::fromLocal8Bit(text.data(), static_cast<int>(text.size()));
}

QString fileLine(const QString &what, const QString &path, const QString &reason)
{
    const QString line = QStringLiteral("  %1: %2")
                             .arg(what, QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath()));
    return reason.isEmpty() ? line : line + QStringLiteral(" (%1)").arg(reason);
}

QString packReason(const RunInputs &inputs)
{
    const std::string pack = libraryPath(inputs.pack);
    if (quarnel::sameFileUtf8(pack.c_str(), libraryPath(inputs.oldLod).c_str()))
        return QStringLiteral("would overwrite the old LOD file");
    if (quarnel::sameFileUtf8(pack.c_str(), libraryPath(inputs.newLod).c_str()))
        return QStringLiteral("would overwrite the new LOD file");
    return systemReason(writeProblem(pack));
}

} // namespace

QString failureDetail(int result, const RunInputs &inputs)
{
    if (result == FOTA_CODE_BASE_MISALIGNED)
        return QStringLiteral("  code base %1 is not a multiple of %2").arg(inputs.codeBase).arg(sectorSize);
    if (result == FOTA_CODE_SIZE_MISALIGNED)
        return QStringLiteral("  code size %1 is not a multiple of %2").arg(inputs.codeSize).arg(sectorSize);
    if (result == FOTA_OLD_LOD_UNREADABLE)
        return fileLine(QStringLiteral("old LOD file"), inputs.oldLod,
                        systemReason(readProblem(libraryPath(inputs.oldLod))));
    if (result == FOTA_NEW_LOD_UNREADABLE)
        return fileLine(QStringLiteral("new LOD file"), inputs.newLod,
                        systemReason(readProblem(libraryPath(inputs.newLod))));
    // The file was read; the library's message already says what is wrong with its image.
    if (result >= FOTA_OLD_NOT_CONTIGUOUS && result <= FOTA_OLD_TOO_LARGE)
        return fileLine(QStringLiteral("old LOD file"), inputs.oldLod, QString());
    if (result >= FOTA_NEW_NOT_CONTIGUOUS && result <= FOTA_NEW_TOO_LARGE)
        return fileLine(QStringLiteral("new LOD file"), inputs.newLod, QString());
    if (result == FOTA_PACK_WRITE_FAILED)
        return fileLine(QStringLiteral("pack file"), inputs.pack, packReason(inputs));
    return QString();
}
