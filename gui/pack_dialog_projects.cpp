// The project operations of the main dialog: the store "projects.ini" and its list.
#include "pack_dialog.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QPlainTextEdit>
#include <QStringList>
#include <QTemporaryDir>

#include "config_dialog.h"
#include "project_config.h"

namespace {

const char *const codeFlashBaseKey = "codeFlashBase";
const char *const codeFlashSizeKey = "codeFlashSize";

} // namespace

void FotaPackDialog::reloadProjects()
{
    const QStringList names = settings.childGroups();
    const int remembered = names.indexOf(cbConfig->currentText());
    cbConfig->clear();
    cbConfig->addItems(names);
    cbConfig->setCurrentIndex(remembered >= 0 ? remembered : 0);
    updateControls();
}

bool FotaPackDialog::readProject(ProjectConfig &config)
{
    if (!settings.childGroups().contains(config.name))
        return false;
    settings.beginGroup(config.name);
    config.codeFlashBase = settings.value(QLatin1String(codeFlashBaseKey)).toString();
    config.codeFlashSize = settings.value(QLatin1String(codeFlashSizeKey)).toString();
    settings.endGroup();
    return true;
}

void FotaPackDialog::saveProject(const ProjectConfig &config)
{
    settings.beginGroup(config.name);
    settings.setValue(QLatin1String(codeFlashBaseKey), config.codeFlashBase);
    settings.setValue(QLatin1String(codeFlashSizeKey), config.codeFlashSize);
    settings.endGroup();
    settings.sync();
    if (!storeHolds(config.name, &config))
        reportStoreWriteFailed();
    reloadProjects();
}

// QSettings keeps a change in memory when the file cannot be written, so the list would
// show a project that is gone after a restart; and once a write has failed its status
// stays an error even after later ones succeed. Reading the file afresh tells, from a
// copy: every QSettings of one process shares what it holds of a file, written or not.
bool FotaPackDialog::storeHolds(const QString &name, const ProjectConfig *expected) const
{
    const QTemporaryDir scratch;
    const QString copy = scratch.filePath(QStringLiteral("projects.ini"));
    QFile::copy(settings.fileName(), copy);
    QSettings onDisk(copy, QSettings::IniFormat);
    if (!expected)
        return !onDisk.childGroups().contains(name);
    onDisk.beginGroup(name);
    const QLatin1String baseKey(codeFlashBaseKey);
    const QLatin1String sizeKey(codeFlashSizeKey);
    return onDisk.contains(baseKey) && onDisk.value(baseKey).toString() == expected->codeFlashBase &&
           onDisk.contains(sizeKey) && onDisk.value(sizeKey).toString() == expected->codeFlashSize;
}

void FotaPackDialog::reportStoreWriteFailed()
{
    teLog->appendPlainText(QStringLiteral("The project store could not be written: %1")
                               .arg(QDir::toNativeSeparators(settings.fileName())));
}

void FotaPackDialog::onAddConfig()
{
    FotaConfigDialog dialog(this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    saveProject(dialog.getConfig());
}

void FotaPackDialog::onEditConfig()
{
    ProjectConfig config;
    config.name = cbConfig->currentText();
    if (config.name.isEmpty() || !readProject(config))
        return;
    FotaConfigDialog dialog(this);
    dialog.setConfig(config);
    if (dialog.exec() == QDialog::Accepted)
        saveProject(dialog.getConfig());
}

void FotaPackDialog::onRemoveConfig()
{
    const QString name = cbConfig->currentText();
    if (name.isEmpty())
        return;
    settings.beginGroup(name);
    const QStringList keys = settings.allKeys();
    for (const QString &key : keys)
        settings.remove(key);
    settings.endGroup();
    settings.sync();
    if (!storeHolds(name, nullptr))
        reportStoreWriteFailed();
    cbConfig->removeItem(cbConfig->currentIndex());
    // Without this, Edit, Remove and Run would stay enabled after the last project is gone.
    updateControls();
    // Left on Remove, a second key press would delete the next project too.
    cbConfig->setFocus();
}
