// The configuration dialog's own checks: the names it accepts.
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
    for (const QString &refused : {QStringLiteral("a/b"), QStringLiteral("a\\b"), QString()}) {
        retype(name, refused);
        QVERIFY2(!okButton(&dialog)->isEnabled(), qPrintable(refused));
        QVERIFY2(!problem->text().isEmpty(), qPrintable(refused));
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

QTEST_MAIN(ConfigDialogTest)
#include "test_config_dialog.moc"
