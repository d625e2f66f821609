// The pack dialog's file choice and its background run, against the real library.
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFutureWatcherBase>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QSignalSpy>
#include <QProcess>
#include <QScopeGuard>
#include <QtTest>

#include <cerrno>
#include <cstring>

#include "gui_test_support.h"
#include "pack_dialog.h"

namespace {

constexpr uint32_t flashBase = 0x08000000u;
constexpr int runTimeoutMs = 120000;

void writeProject(const QString &name, const QString &base, const QString &size)
{
    QSettings file(QStringLiteral("projects.ini"), QSettings::IniFormat);
    file.beginGroup(name);
    file.setValue(QStringLiteral("codeFlashBase"), base);
    file.setValue(QStringLiteral("codeFlashSize"), size);
    file.endGroup();
    file.sync();
}

// Key presses that carry their text, so that non-ASCII characters can be typed too.
void typeText(QLineEdit *field, const QString &text)
{
    for (const QChar character : text) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(character));
        QApplication::sendEvent(field, &press);
    }
}

// Types the three paths as a user would, over what an earlier window left in them.
void typePaths(FotaPackDialog &dialog, const QString &oldLod, const QString &newLod, const QString &pack)
{
    const std::pair<const char *, QString> fields[] = {
        {"leOldLod", oldLod}, {"leNewLod", newLod}, {"lePatch", pack}};
    for (const auto &field : fields) {
        auto *edit = child<QLineEdit>(&dialog, field.first);
        edit->clear();
        typeText(edit, field.second);
    }
}

// Clicks Run and waits for the watcher to report the end of the job.
bool runToEnd(FotaPackDialog &dialog)
{
    QSignalSpy finished(child<QFutureWatcherBase>(&dialog, "watcher"), &QFutureWatcherBase::finished);
    QTest::mouseClick(child<QPushButton>(&dialog, "pbRun"), Qt::LeftButton);
    return finished.count() > 0 || finished.wait(runTimeoutMs);
}

const char *const inputNames[] = {"cbConfig", "pbConfigEdit", "pbConfigAdd", "pbConfigRemove",
                                  "leOldLod", "pbOldBrowse",  "leNewLod",    "pbNewBrowse",
                                  "lePatch",  "pbPatchBrowse", "pbRun"};

QStringList enabledInputs(FotaPackDialog &dialog)
{
    QStringList enabled;
    for (const char *name : inputNames)
        if (child<QWidget>(&dialog, name)->isEnabled())
            enabled << QLatin1String(name);
    return enabled;
}

QString crcText(uint32_t crc)
{
    return QStringLiteral("0x%1").arg(crc, 8, 16, QLatin1Char('0'));
}

} // namespace

class PackRunTest : public QObject {
    Q_OBJECT

private slots:
    void browseFillsFieldOnlyWhenChosen();
    void savedPackNameGetsItsExtension();
    void controlsAroundRun();
    void blankPathsDoNotEnableRun();
    void closeIsRefusedWhileRunning();
    void successfulRunLogsPackHeaderValues();
    void relativePathsMeanTheStartFolder();
    void checksumKeepsLeadingZeros();
    void failedRunShowsLibraryMessage_data();
    void failedRunShowsLibraryMessage();
    void refusedPackPathIsNamed();
};

void PackRunTest::browseFillsFieldOnlyWhenChosen()
{
    WorkDir work;
    QVERIFY(work.isValid());
    writeProject(QStringLiteral("demo"), QStringLiteral("0x10000"), QStringLiteral("0x100000"));
    const QString existing = work.path(QStringLiteral("image.lod"));
    QVERIFY(writeLod(existing, flashBase + 0x10000, randomBytes(4096, 1)));
    FotaPackDialog dialog(work.store());

    struct Browse {
        const char *button, *purpose, *field, *caption, *filter;
        QString chosen;
    };
    const Browse browses[] = {
        {"pbOldBrowse", "Choose the old LOD file", "leOldLod", "Open old LOD file",
         "Old LOD files (*.lod)", existing},
        {"pbNewBrowse", "Choose the new LOD file", "leNewLod", "Open new LOD file",
         "New LOD files (*.lod)", existing},
        {"pbPatchBrowse", "Choose the pack file to write", "lePatch", "Save FOTA pack file",
         "FOTA pack files (*.pack)", work.path(QStringLiteral("out.pack"))}};
    for (const Browse &browse : browses) {
        // Three buttons read "...": each says what it chooses, to a pointer and to a screen reader.
        auto *button = child<QPushButton>(&dialog, browse.button);
        QCOMPARE(button->text(), QStringLiteral("..."));
        QCOMPARE(button->toolTip(), QLatin1String(browse.purpose));
        QCOMPARE(button->accessibleName(), QLatin1String(browse.purpose));

        auto *field = child<QLineEdit>(&dialog, browse.field);
        // Cancelling keeps the field as it was.
        whenModal([&](QWidget *modal) {
            auto *files = qobject_cast<QFileDialog *>(modal);
            QVERIFY(files);
            QCOMPARE(files->windowTitle(), QLatin1String(browse.caption));
            QCOMPARE(files->nameFilters(), QStringList{QLatin1String(browse.filter)});
            files->reject();
        });
        QTest::mouseClick(child<QPushButton>(&dialog, browse.button), Qt::LeftButton);
        QVERIFY2(field->text().isEmpty(), browse.field);

        whenModal([&](QWidget *modal) {
            auto *files = qobject_cast<QFileDialog *>(modal);
            QVERIFY(files);
            // The dialog's own name field, as a user would type into it.
            auto *name = files->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
            QVERIFY(name);
            name->setText(browse.chosen);
            QMetaObject::invokeMethod(files, "accept");
        });
        QTest::mouseClick(child<QPushButton>(&dialog, browse.button), Qt::LeftButton);
        QCOMPARE(field->text(), browse.chosen);
    }
    // The last choice completed the inputs, so Run is now possible.
    QVERIFY(child<QPushButton>(&dialog, "pbRun")->isEnabled());
}

void PackRunTest::savedPackNameGetsItsExtension()
{
    WorkDir work;
    QVERIFY(work.isValid());
    FotaPackDialog dialog(work.store());
    auto *pack = child<QLineEdit>(&dialog, "lePatch");
    const struct {
        const char *typed, *kept;
    } cases[] = {{"update", "update.pack"}, {"update.pack", "update.pack"}, {"update.bin", "update.bin"}};
    for (const auto &entry : cases) {
        whenModal([&](QWidget *modal) {
            auto *files = qobject_cast<QFileDialog *>(modal);
            QVERIFY(files);
            files->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))
                ->setText(work.path(QLatin1String(entry.typed)));
            QMetaObject::invokeMethod(files, "accept");
        });
        QTest::mouseClick(child<QPushButton>(&dialog, "pbPatchBrowse"), Qt::LeftButton);
        QCOMPARE(pack->text(), work.path(QLatin1String(entry.kept)));
    }
}

void PackRunTest::controlsAroundRun()
{
    WorkDir work;
    QVERIFY(work.isValid());
    writeProject(QStringLiteral("demo"), QStringLiteral("0x10000"), QStringLiteral("0x100000"));
    const QString oldLod = work.path(QStringLiteral("old.lod"));
    QVERIFY(writeLod(oldLod, flashBase + 0x10000, randomBytes(8192, 2)));
    FotaPackDialog dialog(work.store());

    const QStringList allButRun{"cbConfig", "pbConfigEdit", "pbConfigAdd", "pbConfigRemove",
                                "leOldLod", "pbOldBrowse", "leNewLod", "pbNewBrowse",
                                "lePatch", "pbPatchBrowse"};
    QCOMPARE(enabledInputs(dialog), allButRun);
    typePaths(dialog, oldLod, oldLod, work.path(QStringLiteral("out.pack")));
    QCOMPARE(enabledInputs(dialog), allButRun + QStringList{"pbRun"});
    QTest::keyClick(child<QLineEdit>(&dialog, "leNewLod"), Qt::Key_Backspace);
    QTest::keyClicks(child<QLineEdit>(&dialog, "leNewLod"), QStringLiteral("d"));
    QCOMPARE(enabledInputs(dialog), allButRun + QStringList{"pbRun"});

    {
        PoolBlocker blocker;
        QSignalSpy finished(child<QFutureWatcherBase>(&dialog, "watcher"),
                            &QFutureWatcherBase::finished);
        QTest::mouseClick(child<QPushButton>(&dialog, "pbRun"), Qt::LeftButton);
        QCOMPARE(enabledInputs(dialog), QStringList());
        QVERIFY(child<QWidget>(&dialog, "teLog")->isEnabled()); // the log stays readable
        blocker.release();
        QVERIFY(finished.count() > 0 || finished.wait(runTimeoutMs));
    }
    QCOMPARE(enabledInputs(dialog), allButRun + QStringList{"pbRun"});
    QVERIFY(logLines(&dialog).join(QLatin1Char('\n')).contains(QStringLiteral("SUCCESS")));
}

void PackRunTest::blankPathsDoNotEnableRun()
{
    WorkDir work;
    QVERIFY(work.isValid());
    writeProject(QStringLiteral("demo"), QStringLiteral("0x10000"), QStringLiteral("0x10000"));
    const std::vector<uint8_t> image = randomBytes(4096, 9);
    QVERIFY(writeLod(work.path(QStringLiteral("old.lod")), flashBase + 0x10000, image));
    FotaPackDialog dialog(work.store());
    auto *run = child<QPushButton>(&dialog, "pbRun");

    // Spaces alone would name a file "   " in the working folder.
    typePaths(dialog, QStringLiteral("old.lod"), QStringLiteral("old.lod"), QStringLiteral("   "));
    QVERIFY(!run->isEnabled());
    typeText(child<QLineEdit>(&dialog, "lePatch"), QStringLiteral("\t"));
    QVERIFY(!run->isEnabled());

    // Spaces that are part of a name stay, at either end too.
    child<QLineEdit>(&dialog, "lePatch")->clear();
    typeText(child<QLineEdit>(&dialog, "lePatch"), QStringLiteral(" my pack "));
    QVERIFY(run->isEnabled());
    QVERIFY(runToEnd(dialog));
    QCOMPARE(logLines(&dialog).value(3), QStringLiteral("  pack:  my pack "));
#ifdef Q_OS_WIN
    // Windows itself drops the spaces at the end of a name it creates a file under.
    QVERIFY(readPackHeader(work.path(QStringLiteral(" my pack"))).valid);
#else
    QVERIFY(readPackHeader(work.path(QStringLiteral(" my pack "))).valid);
#endif
    QVERIFY(!QFile::exists(work.path(QStringLiteral("   "))));
}

void PackRunTest::closeIsRefusedWhileRunning()
{
    WorkDir work;
    QVERIFY(work.isValid());
    writeProject(QStringLiteral("demo"), QStringLiteral("0x10000"), QStringLiteral("0x100000"));
    const QString oldLod = work.path(QStringLiteral("old.lod"));
    QVERIFY(writeLod(oldLod, flashBase + 0x10000, randomBytes(4096, 3)));
    FotaPackDialog dialog(work.store());
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    typePaths(dialog, oldLod, oldLod, work.path(QStringLiteral("out.pack")));

    PoolBlocker blocker;
    QSignalSpy finished(child<QFutureWatcherBase>(&dialog, "watcher"), &QFutureWatcherBase::finished);
    QTest::mouseClick(child<QPushButton>(&dialog, "pbRun"), Qt::LeftButton);

    QVERIFY(!dialog.close());
    QTest::keyClick(&dialog, Qt::Key_Escape);
    QVERIFY(dialog.isVisible());
    // Said once, however often the user tries.
    const QStringList during = logLines(&dialog);
    QCOMPARE(during.size(), 8);
    QCOMPARE(during[7], QStringLiteral("Cannot close while the pack is being created."));

    // The job is still queued: a second passes and the run line gains a dot.
    QTRY_VERIFY_WITH_TIMEOUT(logLines(&dialog).value(6).startsWith(QStringLiteral("Run ..")), 5000);

    blocker.release();
    QVERIFY(finished.count() > 0 || finished.wait(runTimeoutMs));
    // The run's result stays in one block; the note and the answer to it follow.
    const QStringList after = logLines(&dialog);
    QCOMPARE(after.size(), 14);
    QVERIFY2(QRegularExpression(QStringLiteral("^Run \\.{2,}SUCCESS$")).match(after[6]).hasMatch(),
             qPrintable(after[6]));
    QVERIFY(after[7].startsWith(QStringLiteral("  old start: ")));
    QVERIFY(after[10].startsWith(QStringLiteral("  pack file: ")));
    QCOMPARE(after[11], QString());
    QCOMPARE(after[12], during[7]);
    QCOMPARE(after[13], QStringLiteral("The run has ended; the window can now be closed."));

    QVERIFY(dialog.close());
    QVERIFY(!dialog.isVisible());
}

void PackRunTest::successfulRunLogsPackHeaderValues()
{
    WorkDir work;
    QVERIFY(work.isValid());
    writeProject(QStringLiteral("demo"), QStringLiteral("64K"), QStringLiteral(" 0x100000 "));
    std::vector<uint8_t> oldImage = randomBytes(0x10000, 4);
    std::vector<uint8_t> newImage = oldImage;
    for (size_t i = 0x2000; i < 0x2400; ++i)
        newImage[i] ^= 0x5A;
    const std::vector<uint8_t> grown = randomBytes(0x1000, 5);
    newImage.insert(newImage.end(), grown.begin(), grown.end());

    // Non-ASCII names check that the paths reach the library as UTF-8.
    const QString oldLod = work.path(QStringLiteral("alt-\u00fc.lod"));
    const QString newLod = work.path(QStringLiteral("neu-\u00e9.lod"));
    const QString pack = work.path(QStringLiteral("p\u00e4ck.pack"));
    QVERIFY(writeLod(oldLod, flashBase + 0x10000, oldImage));
    QVERIFY(writeLod(newLod, flashBase + 0x10000, newImage));

    FotaPackDialog dialog(work.store());
    typePaths(dialog, oldLod, newLod, pack);
    QVERIFY(runToEnd(dialog));

    const PackHeaderFields header = readPackHeader(pack);
    QVERIFY(header.valid);
    QCOMPARE(header.oldStart, 0x10000u);
    QCOMPARE(header.oldSize, 0x10000u);
    QCOMPARE(header.oldCrc, referenceCrc(oldImage));

    const QStringList lines = logLines(&dialog);
    QCOMPARE(lines.size(), 12);
    QCOMPARE(lines[0], QStringLiteral("Create FOTA pack for project demo"));
    QCOMPARE(lines[1], QStringLiteral("  old: ") + oldLod);
    QCOMPARE(lines[2], QStringLiteral("  new: ") + newLod);
    QCOMPARE(lines[3], QStringLiteral("  pack: ") + pack);
    QCOMPARE(lines[4], QStringLiteral("  code base: 65536"));
    QCOMPARE(lines[5], QStringLiteral("  code size: 1048576"));
    QVERIFY2(QRegularExpression(QStringLiteral("^Run \\.+SUCCESS$")).match(lines[6]).hasMatch(),
             qPrintable(lines[6]));
    QCOMPARE(lines[7], QStringLiteral("  old start: %1").arg(header.oldStart));
    QCOMPARE(lines[8], QStringLiteral("  old size: %1").arg(header.oldSize));
    QCOMPARE(lines[9], QStringLiteral("  old CRC: ") + crcText(header.oldCrc));
    QCOMPARE(lines[10], QStringLiteral("  pack file: %1 (%2 bytes)")
                            .arg(QDir::toNativeSeparators(pack))
                            .arg(QFileInfo(pack).size()));
    QCOMPARE(lines[11], QString());
}

void PackRunTest::relativePathsMeanTheStartFolder()
{
    WorkDir work;
    QVERIFY(work.isValid());
    writeProject(QStringLiteral("demo"), QStringLiteral("0x10000"), QStringLiteral("0x10000"));
    const std::vector<uint8_t> image = randomBytes(4096, 8);
    QVERIFY(writeLod(work.path(QStringLiteral("old.lod")), flashBase + 0x10000, image));
    QVERIFY(writeLod(work.path(QStringLiteral("new.lod")), flashBase + 0x10000, image));

    FotaPackDialog dialog(work.store());
    typePaths(dialog, QStringLiteral("old.lod"), QStringLiteral("new.lod"), QStringLiteral("out.pack"));
    QVERIFY(runToEnd(dialog));

    // The pack lands in the working folder, and the log names it in full.
    const QFileInfo expected(work.path(QStringLiteral("out.pack")));
    QVERIFY(expected.exists());
    const QRegularExpressionMatch line =
        QRegularExpression(QStringLiteral("^  pack file: (.+) \\((\\d+) bytes\\)$"))
            .match(logLines(&dialog).value(10));
    QVERIFY2(line.hasMatch(), qPrintable(logLines(&dialog).value(10)));
    const QFileInfo named(QDir::fromNativeSeparators(line.captured(1)));
    QVERIFY(named.isAbsolute());
    QCOMPARE(named.canonicalFilePath(), expected.canonicalFilePath());
    QCOMPARE(line.captured(2).toLongLong(), expected.size());
}

void PackRunTest::checksumKeepsLeadingZeros()
{
    WorkDir work;
    QVERIFY(work.isValid());
    writeProject(QStringLiteral("small"), QStringLiteral("0x10000"), QStringLiteral("0x10000"));
    // About one image in sixteen has a checksum below 0x10000000.
    std::vector<uint8_t> image;
    for (uint32_t seed = 100; image.empty() || referenceCrc(image) >= 0x10000000u; ++seed)
        image = randomBytes(4096, seed);
    const QString lod = work.path(QStringLiteral("same.lod"));
    const QString pack = work.path(QStringLiteral("same.pack"));
    QVERIFY(writeLod(lod, flashBase + 0x10000, image));

    FotaPackDialog dialog(work.store());
    typePaths(dialog, lod, lod, pack);
    QVERIFY(runToEnd(dialog));

    const QStringList lines = logLines(&dialog);
    QCOMPARE(lines.value(9), QStringLiteral("  old CRC: ") + crcText(referenceCrc(image)));
    QVERIFY(lines.value(9).startsWith(QStringLiteral("  old CRC: 0x0")));
    QCOMPARE(lines.value(9).size(), QStringLiteral("  old CRC: 0x").size() + 8);
    QCOMPARE(readPackHeader(pack).oldCrc, referenceCrc(image));
}

void PackRunTest::failedRunShowsLibraryMessage_data()
{
    QTest::addColumn<QString>("base");
    QTest::addColumn<uint>("codeBase");
    QTest::addColumn<bool>("oldExists");
    QTest::addColumn<QString>("message");
    // The line after it, the old LOD file given as "%1".
    QTest::addColumn<QString>("detail");
    QTest::newRow("missing old LOD") << "0x10000" << 0x10000u << false << "failed to read old lod"
                                     << "  old LOD file: %1 (" + QString::fromLocal8Bit(std::strerror(ENOENT)) + ")";
    QTest::newRow("base not sector aligned") << "0x800" << 0x800u << true << "unknown error"
                                             << "  code base 2048 is not a multiple of 4096";
    QTest::newRow("base not a number") << "base" << 0u << true
                                       << "old address does not match code flash base"
                                       << "  old LOD file: %1";
}

void PackRunTest::failedRunShowsLibraryMessage()
{
    QFETCH(QString, base);
    QFETCH(uint, codeBase);
    QFETCH(bool, oldExists);
    QFETCH(QString, message);
    QFETCH(QString, detail);
    WorkDir work;
    QVERIFY(work.isValid());
    writeProject(QStringLiteral("demo"), base, QStringLiteral("0x100000"));
    const QString oldLod = work.path(QStringLiteral("old.lod"));
    const QString newLod = work.path(QStringLiteral("new.lod"));
    const QString pack = work.path(QStringLiteral("out.pack"));
    if (oldExists)
        QVERIFY(writeLod(oldLod, flashBase + 0x10000, randomBytes(4096, 6)));
    QVERIFY(writeLod(newLod, flashBase + 0x10000, randomBytes(4096, 7)));

    FotaPackDialog dialog(work.store());
    typePaths(dialog, oldLod, newLod, pack);
    QVERIFY(runToEnd(dialog));

    const QStringList lines = logLines(&dialog);
    QCOMPARE(lines.size(), 9);
    QCOMPARE(lines[4], QStringLiteral("  code base: %1").arg(codeBase));
    QVERIFY2(QRegularExpression(QStringLiteral("^Run \\.+$")).match(lines[6]).hasMatch(),
             qPrintable(lines[6]));
    QCOMPARE(lines[7], QStringLiteral("Failed: ") + message);
    QCOMPARE(lines[8], detail.contains(QLatin1String("%1")) ? detail.arg(QDir::toNativeSeparators(oldLod)) : detail);
    QVERIFY(!QFile::exists(pack));
    QVERIFY(child<QPushButton>(&dialog, "pbRun")->isEnabled());
}

void PackRunTest::refusedPackPathIsNamed()
{
    WorkDir work;
    QVERIFY(work.isValid());
    writeProject(QStringLiteral("demo"), QStringLiteral("0x10000"), QStringLiteral("0x10000"));
    const std::vector<uint8_t> image = randomBytes(4096, 10);
    const QString oldLod = work.path(QStringLiteral("old.lod"));
    QVERIFY(writeLod(oldLod, flashBase + 0x10000, image));
    QVERIFY(QDir().mkdir(work.path(QStringLiteral("folder"))));
    QVERIFY(QDir().mkdir(work.path(QStringLiteral("locked"))));

    // A folder nobody may add to: by its mode for a user, by the immutable flag for root.
    const QString locked = work.path(QStringLiteral("locked"));
    QFile::setPermissions(locked, QFile::ReadOwner | QFile::ExeOwner);
    const bool immutable = QFileInfo(locked).isWritable() &&
                           QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("+i"), locked}) == 0;
    const auto unlock = qScopeGuard([&] {
        if (immutable)
            QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("-i"), locked});
        QFile::setPermissions(locked, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    });
    QFile probe(work.path(QStringLiteral("locked/probe")));
    const bool lockHolds = !probe.open(QIODevice::WriteOnly);
    const int lockedCode = immutable ? EPERM : EACCES;

    const struct {
        QString pack;
        int code;
        bool possible;
    } cases[] = {
        {work.path(QStringLiteral("folder")), EISDIR, true},
        {work.path(QStringLiteral("missing/out.pack")), ENOENT, true},
        {work.path(QStringLiteral("locked/out.pack")), lockedCode, lockHolds},
    };
    for (const auto &entry : cases) {
        if (!entry.possible)
            continue;
        FotaPackDialog dialog(work.store());
        typePaths(dialog, oldLod, oldLod, entry.pack);
        QVERIFY(runToEnd(dialog));
        const QStringList lines = logLines(&dialog);
        QCOMPARE(lines.value(7), QStringLiteral("Failed: failed to write pack"));
        QCOMPARE(lines.value(8), QStringLiteral("  pack file: %1 (%2)")
                                     .arg(QDir::toNativeSeparators(entry.pack),
                                          QString::fromLocal8Bit(std::strerror(entry.code))));
        QCOMPARE(lines.size(), 9);
    }
    if (!lockHolds)
        QSKIP("this file system lets the folder be written whatever its mode and flags");
}

QTEST_MAIN(PackRunTest)
#include "test_pack_run.moc"
