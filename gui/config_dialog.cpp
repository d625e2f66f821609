#include "config_dialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QVBoxLayout>

#include <cstdint>

#include "size_text.h"

namespace {

constexpr uint32_t sectorSize = 4096;

// Wide enough for a usual hint, so that the dialog does not change width at every keystroke.
const char *const usualHint = "= 0x00000000 (0000 KiB)";

// A note goes to the right of its field, so that it reads as part of the same entry.
QLineEdit *addRow(QFormLayout *form, const QString &labelName, const QString &labelText,
                  const QString &fieldName, QLabel *note = nullptr)
{
    auto *label = new QLabel(labelText);
    label->setObjectName(labelName);
    auto *field = new QLineEdit;
    field->setObjectName(fieldName);
    label->setBuddy(field);
    if (!note) {
        form->addRow(label, field);
        return field;
    }
    // The field keeps its width when a note appears or grows beside it.
    field->setMinimumWidth(field->sizeHint().width());
    auto *row = new QHBoxLayout;
    row->addWidget(field, 1);
    row->addWidget(note);
    form->addRow(label, row);
    return field;
}

QLabel *makeNote(const QString &name)
{
    auto *note = new QLabel;
    note->setObjectName(name);
    return note;
}

// A longer hint widens the dialog rather than being cut off.
void showHint(QLabel *hint, const QString &text)
{
    hint->setText(QLatin1String(usualHint));
    const int usualWidth = hint->sizeHint().width();
    hint->setText(text);
    hint->setMinimumWidth(qMax(usualWidth, hint->sizeHint().width()));
}

} // namespace

FotaConfigDialog::FotaConfigDialog(QWidget *parent, Qt::WindowFlags flags)
    : QDialog(parent, flags)
{
    createWidgets();
    createConnections();
    setWindowTitle(tr("FOTA Configuration"));
    resize(291, 147);
    checkName();
    updateHints();
}

void FotaConfigDialog::createWidgets()
{
    auto *verticalLayout = new QVBoxLayout(this);
    verticalLayout->setObjectName(QStringLiteral("verticalLayout"));

    auto *formLayout = new QFormLayout;
    formLayout->setObjectName(QStringLiteral("formLayout"));
    lbReplaceNotice = makeNote(QStringLiteral("lbReplaceNotice"));
    leProjectName = addRow(formLayout, QStringLiteral("label_8"), tr("Project name"),
                           QStringLiteral("leProjectName"), lbReplaceNotice);
    lineEdit_2 = addRow(formLayout, QStringLiteral("label_4"), tr("    FOTA Reserved Size"),
                        QStringLiteral("lineEdit_2"));
    lbCodeBaseHint = makeNote(QStringLiteral("lbCodeBaseHint"));
    leCodeBase = addRow(formLayout, QStringLiteral("label_9"), tr("    Code Flash Base"),
                        QStringLiteral("leCodeBase"), lbCodeBaseHint);
    lbCodeSizeHint = makeNote(QStringLiteral("lbCodeSizeHint"));
    leCodeSize = addRow(formLayout, QStringLiteral("label_10"), tr("    Code Flash Size"),
                        QStringLiteral("leCodeSize"), lbCodeSizeHint);
    verticalLayout->addLayout(formLayout);

    // Shown for the device's reserved area only; never read back or stored, so Tab passes it
    // by, and Edit, with the name locked, opens on the base.
    lineEdit_2->setText(QStringLiteral("0x10000"));
    lineEdit_2->setReadOnly(true);
    lineEdit_2->setFocusPolicy(Qt::NoFocus);
    // Painted like the locked name field, so that it does not invite typing.
    QPalette readOnly = lineEdit_2->palette();
    readOnly.setColor(QPalette::Base, readOnly.color(QPalette::Window));
    lineEdit_2->setPalette(readOnly);

    auto *buttonBox = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel,
                                           Qt::Horizontal);
    buttonBox->setObjectName(QStringLiteral("buttonBox"));
    pbOk = buttonBox->button(QDialogButtonBox::Ok);
    lbNameProblem = makeNote(QStringLiteral("lbNameProblem"));
    auto *buttonRow = new QHBoxLayout;
    buttonRow->addWidget(lbNameProblem, 1);
    buttonRow->addWidget(buttonBox);
    verticalLayout->addLayout(buttonRow);

    connect(buttonBox, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttonBox, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

void FotaConfigDialog::createConnections()
{
    connect(leProjectName, &QLineEdit::textChanged, this, &FotaConfigDialog::checkName);
    connect(leCodeBase, &QLineEdit::textChanged, this, &FotaConfigDialog::updateHints);
    connect(leCodeSize, &QLineEdit::textChanged, this, &FotaConfigDialog::updateHints);
}

void FotaConfigDialog::setConfig(const ProjectConfig &config)
{
    leProjectName->setEnabled(false);
    leProjectName->setText(config.name);
    leCodeBase->setText(config.codeFlashBase);
    leCodeSize->setText(config.codeFlashSize);
}

ProjectConfig FotaConfigDialog::getConfig() const
{
    return ProjectConfig{leProjectName->text(), leCodeBase->text(), leCodeSize->text()};
}

void FotaConfigDialog::setExistingNames(const QStringList &names)
{
    existingNames = names;
    checkName();
}

// Refusing here keeps everything the user typed; the name is the store's section name.
void FotaConfigDialog::checkName()
{
    const QString name = leProjectName->text();
    const QString problem = nameProblem(name);
    lbNameProblem->setText(problem);
    pbOk->setEnabled(problem.isEmpty());
    // Adding under a taken name replaces that project: allowed, but never unannounced.
    const bool replaces = leProjectName->isEnabled() && existingNames.contains(name);
    lbReplaceNotice->setText(replaces ? tr("Replaces the project of this name.") : QString());
}

// An empty name puts the keys outside any section, and a slash or backslash nests
// sections, so such a project could never be read back under its name. A name of
// white space only could be stored, but would show as a blank entry in the list.
QString FotaConfigDialog::nameProblem(const QString &name) const
{
    if (name.trimmed().isEmpty())
        return tr("Enter a project name.");
    if (name.contains(QLatin1Char('/')) || name.contains(QLatin1Char('\\')))
        return tr("No / or \\ in the name.");
    return QString();
}

void FotaConfigDialog::updateHints()
{
    showHint(lbCodeBaseHint, valueHint(leCodeBase->text()));
    showHint(lbCodeSizeHint, valueHint(leCodeSize->text()));
}

// The texts are stored as typed and converted only when a pack is built: show that value now.
QString FotaConfigDialog::valueHint(const QString &text) const
{
    const auto value = static_cast<uint32_t>(parseSizeText(text));
    if (value == 0)
        return tr("will be read as 0");
    QString amount;
    if (value % (1u << 20) == 0)
        amount = tr("%1 MiB").arg(value >> 20);
    else if (value % (1u << 10) == 0)
        amount = tr("%1 KiB").arg(value >> 10);
    else
        amount = tr("%1 bytes").arg(value);
    const QString hint = tr("= 0x%1 (%2)").arg(value, 8, 16, QLatin1Char('0')).arg(amount);
    // The library takes whole sectors only; say so now rather than after a run.
    if (value % sectorSize != 0)
        return tr("%1\nnot a multiple of %2: a run will refuse it").arg(hint).arg(sectorSize);
    return hint;
}
