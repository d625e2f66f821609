#include "config_dialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace {

QLineEdit *addRow(QFormLayout *form, const QString &labelName, const QString &labelText,
                  const QString &fieldName)
{
    auto *label = new QLabel(labelText);
    label->setObjectName(labelName);
    auto *field = new QLineEdit;
    field->setObjectName(fieldName);
    label->setBuddy(field);
    form->addRow(label, field);
    return field;
}

} // namespace

FotaConfigDialog::FotaConfigDialog(QWidget *parent, Qt::WindowFlags flags)
    : QDialog(parent, flags)
{
    createWidgets();
    setWindowTitle(tr("FOTA Configuration"));
    resize(291, 147);
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
    leCodeBase = addRow(formLayout, QStringLiteral("label_9"), tr("    Code Flash Base"),
                        QStringLiteral("leCodeBase"));
    leCodeSize = addRow(formLayout, QStringLiteral("label_10"), tr("    Code Flash Size"),
                        QStringLiteral("leCodeSize"));
    verticalLayout->addLayout(formLayout);

    // Shown for the device's reserved area only; never read back or stored.
    lineEdit_2->setText(QStringLiteral("0x10000"));
    lineEdit_2->setReadOnly(true);

    auto *buttonBox = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel,
                                           Qt::Horizontal);
    buttonBox->setObjectName(QStringLiteral("buttonBox"));
    verticalLayout->addWidget(buttonBox);

    connect(buttonBox, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttonBox, &QDialogButtonBox::rejected, this, &QDialog::reject);
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
