// The configuration dialog's own checks: the names it accepts, the value hints and the focus.
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include "config_dialog.h"
#include "gui_test_support.h"

namespace {

QPushButton *okButton(QWidget *dialog)
{
    return child<QDialogButtonBox>(dialog, "buttonBox")->button(QDialogButtonBox::Ok);
}

void retype(QLineEdit *field, const QString &text)
{
    field->clear();
    QTest::keyClicks(field, text);
}

} // namespace

class ConfigDialogTest : public QObject {
    Q_OBJECT

private slots:
    void okWaitsForAStorableName();
    void replaceNoticeNamesATakenName();
    void hintsShowWhatTheTextBecomes();
    void hintsAreNeverCutOff();
    void focusSkipsTheReservedSize();
    void reservedSizeLooksReadOnly();
};

void ConfigDialogTest::okWaitsForAStorableName()
{
    FotaConfigDialog dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    auto *name = child<QLineEdit>(&dialog, "leProjectName");
    auto *problem = child<QLabel>(&dialog, "lbNameProblem");
    QVERIFY(!okButton(&dialog)->isEnabled());
    QVERIFY(!problem->text().isEmpty());

    QTest::keyClicks(child<QLineEdit>(&dialog, "leCodeBase"), QStringLiteral("0x10000"));
    QTest::keyClicks(child<QLineEdit>(&dialog, "leCodeSize"), QStringLiteral("4M"));
    // A name of white space only would be a blank entry in the list.
    for (const QString &refused : {QStringLiteral("a/b"), QStringLiteral("a\\b"), QString(),
                                   QStringLiteral("   "), QStringLiteral(" \t ")}) {
        retype(name, refused);
        QVERIFY2(!okButton(&dialog)->isEnabled(), qPrintable(refused));
        QCOMPARE(problem->text(), refused.contains(QLatin1Char('/')) || refused.contains(QLatin1Char('\\'))
                                      ? QStringLiteral("No / or \\ in the name.")
                                      : QStringLiteral("Enter a project name."));
        // Enter reaches the disabled default button and must not close the dialog either.
        QTest::keyClick(name, Qt::Key_Return);
        QVERIFY2(dialog.isVisible(), qPrintable(refused));
    }

    // What was typed meanwhile is all still there once the name is fixed.
    retype(name, QStringLiteral("demo"));
    QVERIFY(okButton(&dialog)->isEnabled());
    QVERIFY(problem->text().isEmpty());
    const ProjectConfig config = dialog.getConfig();
    QCOMPARE(config.name, QStringLiteral("demo"));
    QCOMPARE(config.codeFlashBase, QStringLiteral("0x10000"));
    QCOMPARE(config.codeFlashSize, QStringLiteral("4M"));
    QTest::keyClick(name, Qt::Key_Return);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
}

void ConfigDialogTest::replaceNoticeNamesATakenName()
{
    FotaConfigDialog dialog;
    dialog.setExistingNames({QStringLiteral("demo"), QStringLiteral("board B")});
    auto *name = child<QLineEdit>(&dialog, "leProjectName");
    auto *notice = child<QLabel>(&dialog, "lbReplaceNotice");
    const QString replaces = QStringLiteral("Replaces the project of this name.");
    const struct {
        const char *name;
        bool taken;
    } cases[] = {{"dem", false}, {"demo", true}, {"Demo", false}, {"demo ", false},
                 {"board B", true}, {"board", false}};
    for (const auto &entry : cases) {
        retype(name, QLatin1String(entry.name));
        QCOMPARE(notice->text(), entry.taken ? replaces : QString());
        // Replacing stays allowed: the store has always let Add overwrite a project.
        QVERIFY(okButton(&dialog)->isEnabled());
    }

    // Editing a project saves it under its own name, which is no news.
    FotaConfigDialog edit;
    edit.setExistingNames({QStringLiteral("demo")});
    edit.setConfig(ProjectConfig{QStringLiteral("demo"), QStringLiteral("64K"), QStringLiteral("4M")});
    QCOMPARE(child<QLabel>(&edit, "lbReplaceNotice")->text(), QString());
}

void ConfigDialogTest::hintsShowWhatTheTextBecomes()
{
    FotaConfigDialog dialog;
    QTest::keyClicks(child<QLineEdit>(&dialog, "leProjectName"), QStringLiteral("demo"));
    auto *base = child<QLineEdit>(&dialog, "leCodeBase");
    auto *size = child<QLineEdit>(&dialog, "leCodeSize");
    auto *baseHint = child<QLabel>(&dialog, "lbCodeBaseHint");
    auto *sizeHint = child<QLabel>(&dialog, "lbCodeSizeHint");
    const QString zero = QStringLiteral("will be read as 0");
    QCOMPARE(baseHint->text(), zero); // an empty field converts to 0 as well

    // Whole sectors only: anything else is refused by every run, so the hint says so now.
    const struct {
        const char *text, *hint;
    } cases[] = {{"0x10000", "= 0x00010000 (64 KiB)"},
                 {" 4m ", "= 0x00400000 (4 MiB)"},
                 {"4096", "= 0x00001000 (4 KiB)"},
                 {"0x800", "= 0x00000800 (2 KiB)\nnot a multiple of 4096: a run will refuse it"},
                 {"100", "= 0x00000064 (100 bytes)\nnot a multiple of 4096: a run will refuse it"},
                 {"010", "= 0x00000008 (8 bytes)\nnot a multiple of 4096: a run will refuse it"},
                 {"0x3F0001", "= 0x003f0001 (4128769 bytes)\nnot a multiple of 4096: a run will refuse it"},
                 {"64KB", "will be read as 0"},
                 {"4MB", "will be read as 0"},
                 {"08", "will be read as 0"},
                 {"0x80000000", "will be read as 0"},
                 {"4096M", "will be read as 0"}};
    for (const auto &entry : cases) {
        const QString text = QLatin1String(entry.text);
        retype(base, text);
        retype(size, text);
        QCOMPARE(baseHint->text(), QLatin1String(entry.hint));
        QCOMPARE(sizeHint->text(), QLatin1String(entry.hint));
        // A hint never refuses: the text is kept exactly as typed and OK stays available.
        QCOMPARE(dialog.getConfig().codeFlashBase, text);
        QCOMPARE(dialog.getConfig().codeFlashSize, text);
        QVERIFY(okButton(&dialog)->isEnabled());
    }

    // Stored texts shown for editing get their hints at once.
    FotaConfigDialog edit;
    edit.setConfig(ProjectConfig{QStringLiteral("demo"), QStringLiteral("64K"), QStringLiteral("4MB")});
    QCOMPARE(child<QLabel>(&edit, "lbCodeBaseHint")->text(), QStringLiteral("= 0x00010000 (64 KiB)"));
    QCOMPARE(child<QLabel>(&edit, "lbCodeSizeHint")->text(), zero);
}

void ConfigDialogTest::hintsAreNeverCutOff()
{
    FotaConfigDialog dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    auto *size = child<QLineEdit>(&dialog, "leCodeSize");
    auto *hint = child<QLabel>(&dialog, "lbCodeSizeHint");
    const int fieldWidth = size->width();
    for (const QString &text : {QStringLiteral("0x3F0001"), QStringLiteral("0x7ffff001"),
                                QStringLiteral("1"), QStringLiteral("0x10000")}) {
        retype(size, text);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        // Every line of the hint fits the label, and the label fits the dialog.
        const QSize needed = hint->fontMetrics().size(0, hint->text());
        QVERIFY2(hint->contentsRect().width() >= needed.width(), qPrintable(hint->text()));
        QVERIFY2(hint->contentsRect().height() >= needed.height(), qPrintable(hint->text()));
        QVERIFY(dialog.rect().contains(hint->geometry().translated(hint->parentWidget()->mapTo(&dialog, QPoint()))));
        QVERIFY(size->width() >= fieldWidth);
    }
}

void ConfigDialogTest::reservedSizeLooksReadOnly()
{
    FotaConfigDialog dialog;
    auto *reserved = child<QLineEdit>(&dialog, "lineEdit_2");
    auto *base = child<QLineEdit>(&dialog, "leCodeBase");
    // Painted with the window's colour, as the locked name field is, not as a field to type in.
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        QCOMPARE(reserved->palette().color(group, QPalette::Base),
                 dialog.palette().color(group, QPalette::Window));
        QVERIFY(reserved->palette().color(group, QPalette::Base)
                != base->palette().color(group, QPalette::Base));
    }
    QVERIFY(reserved->isEnabled());
    QVERIFY(reserved->isReadOnly());
    QCOMPARE(reserved->focusPolicy(), Qt::NoFocus);
}

void ConfigDialogTest::focusSkipsTheReservedSize()
{
    FotaConfigDialog add;
    add.show();
    QVERIFY(QTest::qWaitForWindowActive(&add));
    QTRY_COMPARE(QApplication::focusWidget(), child<QWidget>(&add, "leProjectName"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), child<QWidget>(&add, "leCodeBase"));
    add.reject();

    // With the name locked, editing starts at the base.
    FotaConfigDialog edit;
    edit.setConfig(ProjectConfig{QStringLiteral("demo"), QStringLiteral("0x10000"), QStringLiteral("4M")});
    edit.show();
    QVERIFY(QTest::qWaitForWindowActive(&edit));
    QTRY_COMPARE(QApplication::focusWidget(), child<QWidget>(&edit, "leCodeBase"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
    QVERIFY(QApplication::focusWidget() != child<QWidget>(&edit, "lineEdit_2"));
}

QTEST_MAIN(ConfigDialogTest)
#include "test_config_dialog.moc"
