// The log line after "Failed: ...": which value or file, and what the system says about it.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtTest>

#include <cerrno>
#include <cstring>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

#include "failure_detail.h"
#include "gui_test_support.h"
#include "quarnel.h"

namespace {

QString systemText(int code)
{
    return QString::fromLocal8Bit(std::strerror(code));
}

QString absolute(const QString &path)
{
    return QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
}

bool makeHardLink(const QString &target, const QString &link)
{
#ifdef _WIN32
    return CreateHardLinkW(reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(link).utf16()),
                           reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(target).utf16()),
                           nullptr) != 0;
#else
    return ::link(QFile::encodeName(target).constData(), QFile::encodeName(link).constData()) == 0;
#endif
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace

class FailureDetailTest : public QObject {
    Q_OBJECT

private slots:
    void packOntoALodFileIsNamed();
    void packPathThatCannotBeWritten();
    void unreadableLodFiles();
    void refusedImagesAndCodeArea();
};

void FailureDetailTest::packOntoALodFileIsNamed()
{
    WorkDir work;
    QVERIFY(work.isValid());
    const QString oldLod = work.path(QStringLiteral("old.lod"));
    const QString newLod = work.path(QStringLiteral("new.lod"));
    QVERIFY(writeFile(oldLod, "@08010000\n00000000\n"));
    QVERIFY(writeFile(newLod, "@08010000\n00000000\n"));
    QVERIFY(QDir().mkdir(work.path(QStringLiteral("sub"))));
    const QString hardLink = work.path(QStringLiteral("sub/hard.lod"));
    QVERIFY(makeHardLink(newLod, hardLink));

    const QString ontoOld = QStringLiteral(" (would overwrite the old LOD file)");
    const QString ontoNew = QStringLiteral(" (would overwrite the new LOD file)");
    struct Case {
        QString pack, reason;
    };
    QVector<Case> cases{
        {oldLod, ontoOld},                           // the same path
        {QStringLiteral("old.lod"), ontoOld},        // relative to the working folder
        {QStringLiteral("sub/../old.lod"), ontoOld}, // another spelling
        {QStringLiteral("./sub/.//../new.lod"), ontoNew},
        {hardLink, ontoNew},
    };
#ifndef _WIN32
    // Qt makes shortcuts on Windows, which are files of their own.
    QVERIFY(QFile::link(oldLod, work.path(QStringLiteral("old-link.lod"))));
    QVERIFY(QFile::link(newLod, work.path(QStringLiteral("new-link.lod"))));
    cases.append({work.path(QStringLiteral("old-link.lod")), ontoOld});
    cases.append({QStringLiteral("new-link.lod"), ontoNew});
#endif
    for (const Case &entry : cases) {
        const RunInputs inputs{oldLod, newLod, entry.pack, 0x10000, 0x100000};
        QCOMPARE(failureDetail(FOTA_PACK_WRITE_FAILED, inputs),
                 QStringLiteral("  pack file: ") + absolute(entry.pack) + entry.reason);
    }

    // The same bytes in another file are another file: nothing to blame but the file's name.
    const QString copy = work.path(QStringLiteral("copy.lod"));
    QVERIFY(QFile::copy(oldLod, copy));
    QCOMPARE(failureDetail(FOTA_PACK_WRITE_FAILED, RunInputs{oldLod, newLod, copy, 0x10000, 0x100000}),
             QStringLiteral("  pack file: ") + absolute(copy));
    // Neither does a pack that does not exist yet match a LOD file that does not exist either.
    const QString missing = work.path(QStringLiteral("missing.lod"));
    QCOMPARE(failureDetail(FOTA_PACK_WRITE_FAILED, RunInputs{missing, newLod, missing, 0x10000, 0x100000}),
             QStringLiteral("  pack file: ") + absolute(missing));
}

void FailureDetailTest::packPathThatCannotBeWritten()
{
    WorkDir work;
    QVERIFY(work.isValid());
    QVERIFY(QDir().mkdir(work.path(QStringLiteral("folder"))));
    QVERIFY(writeFile(work.path(QStringLiteral("plain")), "x"));
    const struct {
        QString pack;
        int code;
    } cases[] = {
        {work.path(QStringLiteral("folder")), EISDIR},
        {QStringLiteral("folder/"), EISDIR},
        {work.path(QStringLiteral("absent/out.pack")), ENOENT},
        {work.path(QStringLiteral("plain/out.pack")), ENOTDIR},
    };
    for (const auto &entry : cases) {
        const RunInputs inputs{work.path(QStringLiteral("old.lod")), work.path(QStringLiteral("new.lod")),
                               entry.pack, 0x10000, 0x100000};
        QCOMPARE(failureDetail(FOTA_PACK_WRITE_FAILED, inputs),
                 QStringLiteral("  pack file: %1 (%2)").arg(absolute(entry.pack), systemText(entry.code)));
    }
}

void FailureDetailTest::unreadableLodFiles()
{
    WorkDir work;
    QVERIFY(work.isValid());
    QVERIFY(QDir().mkdir(work.path(QStringLiteral("folder.lod"))));
    QVERIFY(writeFile(work.path(QStringLiteral("empty.lod")), QByteArray()));
    const QString good = work.path(QStringLiteral("good.lod"));
    QVERIFY(writeFile(good, "@08010000\n00000000\n"));
    const QString pack = work.path(QStringLiteral("out.pack"));

    const QString missing = QStringLiteral("missing.lod");
    QCOMPARE(failureDetail(FOTA_OLD_LOD_UNREADABLE, RunInputs{missing, good, pack, 0, 0}),
             QStringLiteral("  old LOD file: %1 (%2)").arg(absolute(missing), systemText(ENOENT)));
    const QString folder = work.path(QStringLiteral("folder.lod"));
    QCOMPARE(failureDetail(FOTA_NEW_LOD_UNREADABLE, RunInputs{good, folder, pack, 0, 0}),
             QStringLiteral("  new LOD file: %1 (%2)").arg(absolute(folder), systemText(EISDIR)));
    const QString empty = work.path(QStringLiteral("empty.lod"));
    QCOMPARE(failureDetail(FOTA_OLD_LOD_UNREADABLE, RunInputs{empty, good, pack, 0, 0}),
             QStringLiteral("  old LOD file: %1 (the file is empty)").arg(absolute(empty)));
    // Nothing found against it: the line still says which file.
    QCOMPARE(failureDetail(FOTA_NEW_LOD_UNREADABLE, RunInputs{good, good, pack, 0, 0}),
             QStringLiteral("  new LOD file: ") + absolute(good));
}

void FailureDetailTest::refusedImagesAndCodeArea()
{
    const RunInputs inputs{QStringLiteral("a/old.lod"), QStringLiteral("b/new.lod"),
                           QStringLiteral("out.pack"), 0x10800, 0x3F0001};
    for (int result :
         {FOTA_OLD_NOT_CONTIGUOUS, FOTA_OLD_SIZE_MISALIGNED, FOTA_OLD_ADDRESS_MISMATCH, FOTA_OLD_TOO_LARGE})
        QCOMPARE(failureDetail(result, inputs), QStringLiteral("  old LOD file: ") + absolute(inputs.oldLod));
    for (int result :
         {FOTA_NEW_NOT_CONTIGUOUS, FOTA_NEW_SIZE_MISALIGNED, FOTA_NEW_ADDRESS_MISMATCH, FOTA_NEW_TOO_LARGE})
        QCOMPARE(failureDetail(result, inputs), QStringLiteral("  new LOD file: ") + absolute(inputs.newLod));
    QCOMPARE(failureDetail(FOTA_CODE_BASE_MISALIGNED, inputs),
             QStringLiteral("  code base 67584 is not a multiple of 4096"));
    QCOMPARE(failureDetail(FOTA_CODE_SIZE_MISALIGNED, inputs),
             QStringLiteral("  code size 4128769 is not a multiple of 4096"));
    // Results that concern no file or value of the run, or no failure at all.
    for (int result :
         std::initializer_list<int>{FOTA_OK, FOTA_INVALID_SECTOR_SIZE, FOTA_PACK_INVALID, FOTA_UPGRADE_FAILED,
                                    FOTA_NEW_MISMATCH, FOTA_OUT_OF_MEMORY, FOTA_COMPRESS_FAILED, -1})
        QVERIFY2(failureDetail(result, inputs).isEmpty(), qPrintable(QString::number(result)));
}

QTEST_MAIN(FailureDetailTest)
#include "test_failure_detail.moc"
