// Project store, configuration dialog and size texts of packgui.
#include <QAbstractItemView>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QScreen>
#include <QPushButton>
#include <QScopeGuard>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include "config_dialog.h"
#include "gui_test_support.h"
#include "pack_dialog.h"
#include "size_text.h"
#include "store_location.h"

namespace {

QStringList comboItems(QComboBox *combo)
{
    QStringList items;
    for (int i = 0; i < combo->count(); ++i)
        items << combo->itemText(i);
    return items;
}

// Fills the next configuration dialog and presses OK or Cancel.
void answerConfigDialog(const QString &name, const QString &base, const QString &size, bool ok)
{
    whenModal([=](QWidget *modal) {
        auto *dialog = qobject_cast<FotaConfigDialog *>(modal);
        QVERIFY(dialog);
        if (child<QLineEdit>(dialog, "leProjectName")->isEnabled())
            child<QLineEdit>(dialog, "leProjectName")->setText(name);
        child<QLineEdit>(dialog, "leCodeBase")->setText(base);
        child<QLineEdit>(dialog, "leCodeSize")->setText(size);
        auto *box = child<QDialogButtonBox>(dialog, "buttonBox");
        box->button(ok ? QDialogButtonBox::Ok : QDialogButtonBox::Cancel)->click();
    });
}

// What another reader of the file sees, section by section: read from a copy, as every
// QSettings of this process shares what the dialog's holds, written to the file or not.
QMap<QString, QMap<QString, QString>> storeOnDisk(const QString &path = QStringLiteral("projects.ini"))
{
    const QTemporaryDir scratch;
    const QString copy = scratch.filePath(QStringLiteral("projects.ini"));
    QFile::copy(path, copy);
    QSettings file(copy, QSettings::IniFormat);
    QMap<QString, QMap<QString, QString>> sections;
    for (const QString &group : file.childGroups()) {
        file.beginGroup(group);
        for (const QString &key : file.allKeys())
            sections[group][key] = file.value(key).toString();
        file.endGroup();
    }
    return sections;
}

QMap<QString, QString> project(const QString &base, const QString &size)
{
    return {{QStringLiteral("codeFlashBase"), base}, {QStringLiteral("codeFlashSize"), size}};
}

} // namespace

class ProjectStoreTest : public QObject {
    Q_OBJECT

private slots:
    void parsesSizeTexts_data();
    void parsesSizeTexts();
    void freshInstallationHasNoProjects();
    void addEditRemoveRoundTrip();
    void refusedNamesKeepTheDialogOpen();
    void failedStoreWritesAreLogged();
    void lockedStoreRefusesRemoval();
    void unreadableStoreIsReported();
    void longNamesKeepTheWindowOnScreen();
    void inputsAreKeptBetweenSessions();
    void removeHandsFocusToTheList();
    void storeLivesBesideProgramOrPerUser();
    void configDialogKeepsTextsAsTyped();
    void packDialogLayout();
};

void ProjectStoreTest::parsesSizeTexts_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("value");
    QTest::newRow("64K") << "64K" << 65536;
    QTest::newRow("64k") << "64k" << 65536;
    QTest::newRow("4M") << "4M" << 4194304;
    QTest::newRow("1m") << "1m" << 1048576;
    QTest::newRow("hex K") << "0x10K" << 16384;
    QTest::newRow("hex with spaces") << "  0x10000 \t" << 65536;
    QTest::newRow("octal") << "010" << 8;
    QTest::newRow("decimal") << "4096" << 4096;
    QTest::newRow("not a number") << "abc" << 0;
    QTest::newRow("empty") << "" << 0;
    QTest::newRow("suffix only") << "K" << 0;
    QTest::newRow("beyond signed range") << "0x80000000" << 0;
    QTest::newRow("largest") << "0x7fffffff" << 0x7fffffff;
    QTest::newRow("shift wraps") << "4096M" << 0;
}

void ProjectStoreTest::parsesSizeTexts()
{
    QFETCH(QString, text);
    QFETCH(int, value);
    QCOMPARE(parseSizeText(text), value);
}

void ProjectStoreTest::freshInstallationHasNoProjects()
{
    WorkDir work;
    QVERIFY(work.isValid());
    FotaPackDialog dialog(work.store());
    QCOMPARE(child<QComboBox>(&dialog, "cbConfig")->count(), 0);
    QVERIFY(!child<QPushButton>(&dialog, "pbConfigEdit")->isEnabled());
    QVERIFY(!child<QPushButton>(&dialog, "pbConfigRemove")->isEnabled());
    QVERIFY(!child<QPushButton>(&dialog, "pbRun")->isEnabled());
    QVERIFY(child<QPushButton>(&dialog, "pbConfigAdd")->isEnabled());
    // Looking is not storing: the file appears with the first project only.
    QVERIFY(!QFile::exists(work.path(QStringLiteral("projects.ini"))));
}

void ProjectStoreTest::addEditRemoveRoundTrip()
{
    WorkDir work;
    QVERIFY(work.isValid());
    {
        FotaPackDialog dialog(work.store());
        auto *combo = child<QComboBox>(&dialog, "cbConfig");

        answerConfigDialog(QStringLiteral("demo"), QStringLiteral("0x10000"), QStringLiteral(" 4M "), true);
        QTest::mouseClick(child<QPushButton>(&dialog, "pbConfigAdd"), Qt::LeftButton);
        QCOMPARE(storeOnDisk().value(QStringLiteral("demo")), project("0x10000", " 4M "));
        QCOMPARE(comboItems(combo), QStringList{"demo"});
        QCOMPARE(combo->currentText(), QStringLiteral("demo"));
        QVERIFY(child<QPushButton>(&dialog, "pbConfigEdit")->isEnabled());
        QVERIFY(!child<QPushButton>(&dialog, "pbRun")->isEnabled()); // no paths yet

        // The list is refilled in the store's order and the selection stays where it was.
        answerConfigDialog(QStringLiteral("alpha"), QStringLiteral("64K"), QString(), true);
        QTest::mouseClick(child<QPushButton>(&dialog, "pbConfigAdd"), Qt::LeftButton);
        QCOMPARE(comboItems(combo), (QStringList{"alpha", "demo"}));
        QCOMPARE(combo->currentText(), QStringLiteral("demo"));
        QCOMPARE(storeOnDisk().value(QStringLiteral("alpha")), project("64K", ""));

        // Cancel leaves nothing behind.
        answerConfigDialog(QStringLiteral("beta"), QStringLiteral("1"), QStringLiteral("2"), false);
        QTest::mouseClick(child<QPushButton>(&dialog, "pbConfigAdd"), Qt::LeftButton);
        QCOMPARE(storeOnDisk().keys(), (QStringList{"alpha", "demo"}));

        // Edit shows the stored texts with the name locked, and the reserved size is never stored.
        bool editChecked = false;
        whenModal([&](QWidget *modal) {
            QCOMPARE(modal->windowTitle(), QStringLiteral("FOTA Configuration"));
            auto *name = child<QLineEdit>(modal, "leProjectName");
            QVERIFY(!name->isEnabled());
            QCOMPARE(name->text(), QStringLiteral("demo"));
            QCOMPARE(child<QLineEdit>(modal, "leCodeBase")->text(), QStringLiteral("0x10000"));
            QCOMPARE(child<QLineEdit>(modal, "leCodeSize")->text(), QStringLiteral(" 4M "));
            auto *reserved = child<QLineEdit>(modal, "lineEdit_2");
            QVERIFY(reserved->isReadOnly());
            QCOMPARE(reserved->text(), QStringLiteral("0x10000"));
            child<QLineEdit>(modal, "leCodeSize")->setText(QStringLiteral("0x3F0000"));
            child<QDialogButtonBox>(modal, "buttonBox")->button(QDialogButtonBox::Ok)->click();
            editChecked = true;
        });
        QTest::mouseClick(child<QPushButton>(&dialog, "pbConfigEdit"), Qt::LeftButton);
        QVERIFY(editChecked);
        QCOMPARE(storeOnDisk().value(QStringLiteral("demo")), project("0x10000", "0x3F0000"));

        answerConfigDialog(QString(), QStringLiteral("0x999"), QStringLiteral("0x999"), false);
        QTest::mouseClick(child<QPushButton>(&dialog, "pbConfigEdit"), Qt::LeftButton);
        QCOMPARE(storeOnDisk().value(QStringLiteral("demo")), project("0x10000", "0x3F0000"));

        // Adding under an existing name overwrites that project's two keys, and says so first.
        QString notice;
        whenModal([&](QWidget *modal) {
            child<QLineEdit>(modal, "leProjectName")->setText(QStringLiteral("alpha"));
            notice = child<QLabel>(modal, "lbReplaceNotice")->text();
            child<QLineEdit>(modal, "leCodeBase")->setText(QStringLiteral("128K"));
            child<QLineEdit>(modal, "leCodeSize")->setText(QStringLiteral("1M"));
            child<QDialogButtonBox>(modal, "buttonBox")->button(QDialogButtonBox::Ok)->click();
        });
        QTest::mouseClick(child<QPushButton>(&dialog, "pbConfigAdd"), Qt::LeftButton);
        QCOMPARE(notice, QStringLiteral("Replaces the project of this name."));
        QCOMPARE(storeOnDisk().value(QStringLiteral("alpha")), project("128K", "1M"));
        QCOMPARE(comboItems(combo), (QStringList{"alpha", "demo"}));
    }

    // A new window reads the same file back and selects the first project.
    FotaPackDialog reopened(work.store());
    auto *combo = child<QComboBox>(&reopened, "cbConfig");
    QCOMPARE(comboItems(combo), (QStringList{"alpha", "demo"}));
    QCOMPARE(combo->currentText(), QStringLiteral("alpha"));

    // Remove asks nothing and reaches the file at once.
    QTest::mouseClick(child<QPushButton>(&reopened, "pbConfigRemove"), Qt::LeftButton);
    QCOMPARE(storeOnDisk().keys(), QStringList{"demo"});
    QCOMPARE(comboItems(combo), QStringList{"demo"});
    QTest::mouseClick(child<QPushButton>(&reopened, "pbConfigRemove"), Qt::LeftButton);
    QVERIFY(storeOnDisk().isEmpty());
    QCOMPARE(combo->count(), 0);
    QVERIFY(!child<QPushButton>(&reopened, "pbConfigEdit")->isEnabled());
    QVERIFY(!child<QPushButton>(&reopened, "pbConfigRemove")->isEnabled());
    QVERIFY(!child<QPushButton>(&reopened, "pbRun")->isEnabled());
}

void ProjectStoreTest::refusedNamesKeepTheDialogOpen()
{
    WorkDir work;
    QVERIFY(work.isValid());
    FotaPackDialog dialog(work.store());
    bool checked = false;
    whenModal([&](QWidget *modal) {
        auto *name = child<QLineEdit>(modal, "leProjectName");
        child<QLineEdit>(modal, "leCodeBase")->setText(QStringLiteral("0x10000"));
        child<QLineEdit>(modal, "leCodeSize")->setText(QStringLiteral("0x3F0000"));
        auto *ok = child<QDialogButtonBox>(modal, "buttonBox")->button(QDialogButtonBox::Ok);
        for (const QString &refused : {QString(), QStringLiteral("a/b"), QStringLiteral("a\\b")}) {
            name->setText(refused);
            QTest::mouseClick(ok, Qt::LeftButton);
            QVERIFY2(modal->isVisible(), qPrintable(refused));
        }
        name->setText(QStringLiteral("demo"));
        QTest::mouseClick(ok, Qt::LeftButton);
        checked = true;
    });
    QTest::mouseClick(child<QPushButton>(&dialog, "pbConfigAdd"), Qt::LeftButton);
    QVERIFY(checked);
    // The refusals happened in the dialog, not in the log of the last run.
    QCOMPARE(logLines(&dialog), QStringList{QString()});
    QCOMPARE(storeOnDisk().keys(), QStringList{"demo"});
    QCOMPARE(storeOnDisk().value(QStringLiteral("demo")), project("0x10000", "0x3F0000"));

    // A name with spaces and other INI-unfriendly characters comes back unchanged.
    const QString odd = QStringLiteral(" board [rev B]; 50% ");
    answerConfigDialog(odd, QStringLiteral("0x10000"), QStringLiteral("a,b"), true);
    QTest::mouseClick(child<QPushButton>(&dialog, "pbConfigAdd"), Qt::LeftButton);
    QCOMPARE(storeOnDisk().value(odd), project("0x10000", "a,b"));
    QCOMPARE(comboItems(child<QComboBox>(&dialog, "cbConfig")), (QStringList{odd, "demo"}));
}

void ProjectStoreTest::failedStoreWritesAreLogged()
{
    WorkDir work;
    QVERIFY(work.isValid());
    // A store below a plain file cannot be written by anyone, root included.
    QFile plain(work.path(QStringLiteral("plain")));
    QVERIFY(plain.open(QIODevice::WriteOnly));
    plain.close();
    const QString store = work.path(QStringLiteral("plain/projects.ini"));
    FotaPackDialog dialog(store);
    auto *combo = child<QComboBox>(&dialog, "cbConfig");
    const QString failed = QStringLiteral("The project store could not be written: ")
                           + QDir::toNativeSeparators(store);

    // The list shows what the file holds, so a project that was not saved is not offered.
    answerConfigDialog(QStringLiteral("demo"), QStringLiteral("0x10000"), QStringLiteral("4M"), true);
    QTest::mouseClick(child<QPushButton>(&dialog, "pbConfigAdd"), Qt::LeftButton);
    QCOMPARE(logLines(&dialog), QStringList{failed});
    QCOMPARE(combo->count(), 0);
    QVERIFY(!child<QPushButton>(&dialog, "pbConfigEdit")->isEnabled());
    QVERIFY(!child<QPushButton>(&dialog, "pbConfigRemove")->isEnabled());

    // Once the store can be written, a save is not reported as failed because earlier ones
    // were, and the project that failed does not turn up with it.
    QVERIFY(QFile::remove(work.path(QStringLiteral("plain"))));
    QVERIFY(QDir().mkdir(work.path(QStringLiteral("plain"))));
    answerConfigDialog(QStringLiteral("next"), QStringLiteral("0x10000"), QStringLiteral("4M"), true);
    QTest::mouseClick(child<QPushButton>(&dialog, "pbConfigAdd"), Qt::LeftButton);
    QCOMPARE(logLines(&dialog), QStringList{failed});
    QCOMPARE(storeOnDisk(store).keys(), QStringList{"next"});
    QCOMPARE(comboItems(combo), QStringList{"next"});
}

void ProjectStoreTest::lockedStoreRefusesRemoval()
{
    WorkDir work;
    QVERIFY(work.isValid());
    FotaPackDialog dialog(work.store());
    auto *combo = child<QComboBox>(&dialog, "cbConfig");
    answerConfigDialog(QStringLiteral("demo"), QStringLiteral("0x10000"), QStringLiteral("4M"), true);
    QTest::mouseClick(child<QPushButton>(&dialog, "pbConfigAdd"), Qt::LeftButton);
    QCOMPARE(storeOnDisk().keys(), QStringList{"demo"});

    // A folder nobody may change: by its mode for a user, by the immutable flag for root.
    const QString folder = QFileInfo(work.store()).absolutePath();
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner);
    const bool immutable = QFileInfo(folder).isWritable() &&
                           QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("+i"), folder}) == 0;
    const auto unlock = qScopeGuard([&] {
        if (immutable)
            QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("-i"), folder});
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    });
    QFile probe(work.path(QStringLiteral("probe")));
    if (probe.open(QIODevice::WriteOnly))
        QSKIP("this file system lets the folder be written whatever its mode and flags");

    QTest::mouseClick(child<QPushButton>(&dialog, "pbConfigRemove"), Qt::LeftButton);
    const QString failed = QStringLiteral("The project store could not be written: ")
                           + QDir::toNativeSeparators(work.store());
    QCOMPARE(logLines(&dialog), QStringList{failed});
    QCOMPARE(storeOnDisk().keys(), QStringList{"demo"});
    // The project is still in the file, so it stays in the list and can be edited or run.
    QCOMPARE(comboItems(combo), QStringList{"demo"});
    QCOMPARE(combo->currentText(), QStringLiteral("demo"));
    QVERIFY(child<QPushButton>(&dialog, "pbConfigEdit")->isEnabled());
    QVERIFY(child<QPushButton>(&dialog, "pbConfigRemove")->isEnabled());
}

void ProjectStoreTest::unreadableStoreIsReported()
{
    WorkDir work;
    QVERIFY(work.isValid());
    // A folder in the store's place cannot be read by anyone, root included.
    QVERIFY(QDir().mkdir(work.store()));
    {
        FotaPackDialog dialog(work.store());
        QCOMPARE(logLines(&dialog), QStringList{QStringLiteral("The project store could not be read: ")
                                                + QDir::toNativeSeparators(work.store())});
        QCOMPARE(child<QComboBox>(&dialog, "cbConfig")->count(), 0);
    }

    // A store that can be read, or none yet, is no news.
    QVERIFY(QDir().rmdir(work.store()));
    {
        FotaPackDialog fresh(work.store());
        QCOMPARE(logLines(&fresh), QStringList{QString()});
    }
    QSettings(work.store(), QSettings::IniFormat).setValue(QStringLiteral("demo/codeFlashBase"), 1);
    FotaPackDialog readable(work.store());
    QCOMPARE(logLines(&readable), QStringList{QString()});
    QCOMPARE(comboItems(child<QComboBox>(&readable, "cbConfig")), QStringList{"demo"});
}

void ProjectStoreTest::longNamesKeepTheWindowOnScreen()
{
    WorkDir work;
    QVERIFY(work.isValid());
    const QString longName = QStringLiteral("board-") + QString(232, QLatin1Char('x'))
                             + QStringLiteral("-rev-B");
    QCOMPARE(longName.size(), 244);
    FotaPackDialog plain(work.store());
    const int usualMinimum = plain.minimumSizeHint().width();
    {
        QSettings file(work.store(), QSettings::IniFormat);
        file.setValue(longName + QStringLiteral("/codeFlashBase"), QStringLiteral("0x10000"));
        file.setValue(QStringLiteral("demo/codeFlashBase"), QStringLiteral("0x10000"));
    }

    FotaPackDialog dialog(work.store());
    auto *combo = child<QComboBox>(&dialog, "cbConfig");
    QCOMPARE(combo->currentText(), longName);
    // The names do not widen the window, however long they are.
    QCOMPARE(dialog.minimumSizeHint().width(), usualMinimum);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    const QRect screen = dialog.screen()->availableGeometry();
    QVERIFY2(dialog.width() <= screen.width(), qPrintable(QString::number(dialog.width())));
    for (const char *name : {"cbConfig", "pbConfigEdit", "pbConfigAdd", "pbConfigRemove", "pbOldBrowse",
                             "pbNewBrowse", "pbPatchBrowse", "pbRun"}) {
        auto *control = child<QWidget>(&dialog, name);
        QVERIFY2(dialog.rect().contains(control->geometry()), name);
    }
    // The list opens within the window too, below the box.
    combo->showPopup();
    QWidget *popup = combo->view()->window();
    QTRY_VERIFY(popup->isVisible());
    QCOMPARE(popup->geometry().left(), combo->mapToGlobal(QPoint(0, 0)).x());
    QVERIFY(popup->geometry().right() <= dialog.mapToGlobal(QPoint(dialog.width(), 0)).x());
    combo->hidePopup();
    // The whole name is a pointer's rest away, on the box and on its entry in the list.
    QCOMPARE(combo->toolTip(), longName);
    QCOMPARE(combo->itemData(0, Qt::ToolTipRole).toString(), longName);
    combo->setCurrentIndex(1);
    QCOMPARE(combo->toolTip(), QStringLiteral("demo"));

    // A window asked to open larger than the screen is brought within it.
    FotaPackDialog oversized(work.store());
    oversized.resize(screen.width() + 500, screen.height() + 500);
    oversized.show();
    QVERIFY(QTest::qWaitForWindowExposed(&oversized));
    QVERIFY(oversized.width() <= screen.width());
    QVERIFY(oversized.height() <= screen.height());
}

void ProjectStoreTest::inputsAreKeptBetweenSessions()
{
    WorkDir work;
    QVERIFY(work.isValid());
    {
        QSettings file(work.store(), QSettings::IniFormat);
        file.setValue(QStringLiteral("alpha/codeFlashBase"), QStringLiteral("0x10000"));
        file.setValue(QStringLiteral("beta/codeFlashBase"), QStringLiteral("0x20000"));
    }
    const QString oldLod = QStringLiteral(" old image.lod");
    {
        FotaPackDialog dialog(work.store());
        dialog.show();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        child<QComboBox>(&dialog, "cbConfig")->setCurrentIndex(1);
        QTest::keyClicks(child<QLineEdit>(&dialog, "leOldLod"), oldLod);
        QTest::keyClicks(child<QLineEdit>(&dialog, "leNewLod"), QStringLiteral("new.lod"));
        QTest::keyClicks(child<QLineEdit>(&dialog, "lePatch"), QStringLiteral("out/update.pack"));
        // Escape still closes at once; nothing typed is lost by it.
        QTest::keyClick(&dialog, Qt::Key_Escape);
        QVERIFY(!dialog.isVisible());
    }

    FotaPackDialog reopened(work.store());
    QCOMPARE(child<QComboBox>(&reopened, "cbConfig")->currentText(), QStringLiteral("beta"));
    QCOMPARE(child<QLineEdit>(&reopened, "leOldLod")->text(), oldLod);
    QCOMPARE(child<QLineEdit>(&reopened, "leNewLod")->text(), QStringLiteral("new.lod"));
    QCOMPARE(child<QLineEdit>(&reopened, "lePatch")->text(), QStringLiteral("out/update.pack"));
    QVERIFY(child<QPushButton>(&reopened, "pbRun")->isEnabled());
    // Every section of the store is still a project; the inputs live in a file of their own.
    QCOMPARE(storeOnDisk().keys(), (QStringList{"alpha", "beta"}));
    QVERIFY(QFile::exists(work.path(QStringLiteral("packgui-state.ini"))));

    // A remembered project that has since been removed leaves the first one chosen.
    QVERIFY(QSettings(work.path(QStringLiteral("packgui-state.ini")), QSettings::IniFormat)
                .value(QStringLiteral("project")) == QStringLiteral("beta"));
    {
        QSettings file(work.store(), QSettings::IniFormat);
        file.remove(QStringLiteral("beta"));
    }
    FotaPackDialog withoutBeta(work.store());
    QCOMPARE(child<QComboBox>(&withoutBeta, "cbConfig")->currentText(), QStringLiteral("alpha"));
}

void ProjectStoreTest::removeHandsFocusToTheList()
{
    WorkDir work;
    QVERIFY(work.isValid());
    {
        QSettings file(work.store(), QSettings::IniFormat);
        file.setValue(QStringLiteral("alpha/codeFlashBase"), QStringLiteral("0x10000"));
        file.setValue(QStringLiteral("beta/codeFlashBase"), QStringLiteral("0x20000"));
    }
    FotaPackDialog dialog(work.store());
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    auto *remove = child<QPushButton>(&dialog, "pbConfigRemove");
    remove->setFocus();
    QTest::keyClick(remove, Qt::Key_Space);
    QCOMPARE(storeOnDisk().keys(), QStringList{"beta"});
    // A second Space now lands on the list, not on Remove with the next project selected.
    QCOMPARE(QApplication::focusWidget(), child<QWidget>(&dialog, "cbConfig"));
}

void ProjectStoreTest::storeLivesBesideProgramOrPerUser()
{
    WorkDir work;
    QVERIFY(work.isValid());
    QDir top(work.path(QString()));

    // A folder that can be written keeps the store, even before the store exists.
    QVERIFY(top.mkdir(QStringLiteral("writable")));
    QCOMPARE(projectStorePath(work.path(QStringLiteral("writable"))),
             work.path(QStringLiteral("writable/projects.ini")));

    // An existing store stays in use although its folder is read-only (root may still write there).
    QVERIFY(top.mkdir(QStringLiteral("readonly")));
    const QString kept = work.path(QStringLiteral("readonly/projects.ini"));
    QFile existing(kept);
    QVERIFY(existing.open(QIODevice::WriteOnly));
    existing.close();
    const QFile::Permissions open = QFile::permissions(work.path(QStringLiteral("readonly")));
    QFile::setPermissions(work.path(QStringLiteral("readonly")),
                          QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther);
    const QString found = projectStorePath(work.path(QStringLiteral("readonly")));
    QFile::setPermissions(work.path(QStringLiteral("readonly")), open);
    QCOMPARE(found, kept);

    // Where nothing can be created beside the program, the user's own folder takes over.
    QStandardPaths::setTestModeEnabled(true);
    const QString userFolder = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
    QDir(userFolder).removeRecursively();
    QFile plain(work.path(QStringLiteral("plain")));
    QVERIFY(plain.open(QIODevice::WriteOnly));
    plain.close();
    const QString perUser = projectStorePath(work.path(QStringLiteral("plain/bin")));
    QCOMPARE(perUser, QDir(userFolder).filePath(QStringLiteral("projects.ini")));
    {
        // Its folder is made with the first project.
        FotaPackDialog dialog(perUser);
        answerConfigDialog(QStringLiteral("demo"), QStringLiteral("0x10000"), QStringLiteral("4M"), true);
        QTest::mouseClick(child<QPushButton>(&dialog, "pbConfigAdd"), Qt::LeftButton);
        QCOMPARE(logLines(&dialog), QStringList{QString()});
    }
    const bool written = QSettings(perUser, QSettings::IniFormat).childGroups()
                         == QStringList{QStringLiteral("demo")};
    QDir(userFolder).removeRecursively();
    QStandardPaths::setTestModeEnabled(false);
    QVERIFY(written);
}

void ProjectStoreTest::configDialogKeepsTextsAsTyped()
{
    FotaConfigDialog dialog;
    QCOMPARE(dialog.size(), QSize(291, 147));
    QVERIFY(child<QLineEdit>(&dialog, "leProjectName")->isEnabled());
    QVERIFY(child<QLineEdit>(&dialog, "leCodeBase")->text().isEmpty());
    QCOMPARE(child<QLabel>(&dialog, "label_9")->text(), QStringLiteral("    Code Flash Base"));
    QTest::keyClicks(child<QLineEdit>(&dialog, "leProjectName"), QStringLiteral(" p1 "));
    QTest::keyClicks(child<QLineEdit>(&dialog, "leCodeBase"), QStringLiteral(" 64k"));
    QTest::keyClicks(child<QLineEdit>(&dialog, "leCodeSize"), QStringLiteral("0x3F0000 "));
    QTest::keyClicks(child<QLineEdit>(&dialog, "lineEdit_2"), QStringLiteral("9"));
    const ProjectConfig config = dialog.getConfig();
    QCOMPARE(config.name, QStringLiteral(" p1 "));
    QCOMPARE(config.codeFlashBase, QStringLiteral(" 64k"));
    QCOMPARE(config.codeFlashSize, QStringLiteral("0x3F0000 "));
    QCOMPARE(child<QLineEdit>(&dialog, "lineEdit_2")->text(), QStringLiteral("0x10000"));
}

void ProjectStoreTest::packDialogLayout()
{
    WorkDir work;
    QVERIFY(work.isValid());
    FotaPackDialog dialog(work.store());
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Create FOTA pack"));
    QCOMPARE(dialog.size(), QSize(583, 355));

    auto *grid = child<QGridLayout>(&dialog, "gridLayout");
    QVERIFY(grid);
    struct Cell {
        const char *name;
        int row, column, columnSpan;
    };
    const Cell cells[] = {{"label", 0, 0, 1},         {"cbConfig", 0, 1, 1},
                          {"pbConfigEdit", 0, 2, 1},  {"pbConfigAdd", 0, 3, 1},
                          {"pbConfigRemove", 0, 4, 1}, {"label_2", 1, 0, 1},
                          {"leOldLod", 1, 1, 3},      {"pbOldBrowse", 1, 4, 1},
                          {"label_3", 2, 0, 1},       {"leNewLod", 2, 1, 3},
                          {"pbNewBrowse", 2, 4, 1},   {"label_4", 3, 0, 1},
                          {"lePatch", 3, 1, 3},       {"pbPatchBrowse", 3, 4, 1},
                          {"pbRun", 4, 4, 1},         {"teLog", 6, 0, 5}};
    for (const Cell &cell : cells) {
        auto *widget = child<QWidget>(&dialog, cell.name);
        QVERIFY2(widget, cell.name);
        int row, column, rowSpan, columnSpan;
        grid->getItemPosition(grid->indexOf(widget), &row, &column, &rowSpan, &columnSpan);
        QVERIFY2(row == cell.row && column == cell.column && columnSpan == cell.columnSpan, cell.name);
    }
    QVERIFY(child<QPlainTextEdit>(&dialog, "teLog")->isReadOnly());

    // Tab walks the controls in reading order.
    const QStringList order{"cbConfig", "pbConfigEdit", "pbConfigAdd", "pbConfigRemove",
                            "leOldLod", "pbOldBrowse", "leNewLod", "pbNewBrowse",
                            "lePatch", "pbPatchBrowse", "pbRun", "teLog"};
    QStringList walked;
    QWidget *widget = child<QWidget>(&dialog, "cbConfig");
    while (walked.size() < order.size()) {
        if (order.contains(widget->objectName()))
            walked << widget->objectName();
        widget = widget->nextInFocusChain();
    }
    QCOMPARE(walked, order);
}

QTEST_MAIN(ProjectStoreTest)
#include "test_project_store.moc"
