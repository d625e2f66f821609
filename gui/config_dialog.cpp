#include "config_dialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <cstdint>

#include "size_text.h"

namespace {

// A hint goes to the right of its field, so that it reads as part of the same entry.
QLineEdit *addRow(QFormLayout *form, const QString &labelName, const QString &labelText,
                  const QString &fieldName, QLabel *hint = nullptr)
{
    auto *label = new QLabel(labelText);
    label->setObjectName(labelName);
    auto *field = new QLineEdit;
    field->setObjectName(fieldName);
    label->setBuddy(field);
    if (!hint) {
        form->addRow(label, field);
        return field;
    }
    // Room for a usual hint from the start, so the field does not shrink as the hint grows.
    field->setMinimumWidth(field->sizeHint().width());
    hint->setText(QStringLiteral("= 0x00000000 (0000 KiB)"));
    hint->setMinimumWidth(hint->sizeHint().width());
    auto *row = new QHBoxLayout;
    row->addWidget(field, 1);
    row->addWidget(hint);
    form->addRow(label, row);
    return field;
}

QLabel *makeNote(const QString &name)
{
    auto *note = new QLabel;
    note->setObjectName(name);
    return note;
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
    leProjectName = addRow(formLayout, QStringLiteral("label_8"), tr("Project name"),
                           QStringLiteral("leProjectName"));
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

// Refusing here keeps everything the user typed; the name is the store's section name.
void FotaConfigDialog::checkName()
{
    const QString problem = nameProblem(leProjectName->text());
    lbNameProblem->setText(problem);
    pbOk->setEnabled(problem.isEmpty());
}

// An empty name puts the keys outside any section, and a slash or backslash nests
// sections, so such a project could never be read back under its name.
QString FotaConfigDialog::nameProblem(const QString &name) const
{
    if (name.isEmpty())
        return tr("Enter a project name.");
    if (name.contains(QLatin1Char('/')) || name.contains(QLatin1Char('\\')))
        return tr("No / or \\ in the name.");
    return QString();
}

void FotaConfigDialog::updateHints()
{
    lbCodeBaseHint->setText(valueHint(leCodeBase->text()));
    lbCodeSizeHint->setText(valueHint(leCodeSize->text()));
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
    return tr("= 0x%1 (%2)").arg(value, 8, 16, QLatin1Char('0')).arg(amount);
}
