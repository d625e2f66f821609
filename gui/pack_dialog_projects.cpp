// The project operations of the main dialog: the store "projects.ini" and its list.
#include "pack_dialog.h"

#include <QDir>
#include <QFile>
#include <QMap>
#include <QPlainTextEdit>
#include <QStringList>
#include <QTemporaryDir>

#include "config_dialog.h"
#include "project_combo_box.h"
#include "project_config.h"

namespace {

const char *const codeFlashBaseKey = "codeFlashBase";
const char *const codeFlashSizeKey = "codeFlashSize";

} // namespace

// One project's section as the file itself holds it.
struct StoredProject {
    bool present = false;
    QMap<QString, QVariant> values;
};

void FotaPackDialog::reloadProjects()
{
    const QStringList names = settings.childGroups();
    const int remembered = names.indexOf(cbConfig->currentText());
    cbConfig->setNames(names);
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
    if (!storeHolds(config.name, &config)) {
        reportStoreWriteFailed();
        returnToStoredProject(config.name);
    }
    reloadProjects();
}

// QSettings keeps a change in memory when the file cannot be written, so the list would
// show a project that is gone after a restart; and once a write has failed its status
// stays an error even after later ones succeed. Reading the file afresh tells, from a
// copy: every QSettings of one process shares what it holds of a file, written or not.
StoredProject FotaPackDialog::storedProject(const QString &name) const
{
    const QTemporaryDir scratch;
    const QString copy = scratch.filePath(QStringLiteral("projects.ini"));
    QFile::copy(settings.fileName(), copy);
    QSettings onDisk(copy, QSettings::IniFormat);
    StoredProject stored;
    stored.present = onDisk.childGroups().contains(name);
    onDisk.beginGroup(name);
    for (const QString &key : onDisk.allKeys())
        stored.values.insert(key, onDisk.value(key));
    return stored;
}

bool FotaPackDialog::storeHolds(const QString &name, const ProjectConfig *expected) const
{
    const StoredProject stored = storedProject(name);
    if (!expected)
        return !stored.present;
    const QLatin1String baseKey(codeFlashBaseKey);
    const QLatin1String sizeKey(codeFlashSizeKey);
    return stored.values.contains(baseKey) && stored.values.value(baseKey).toString() == expected->codeFlashBase
           && stored.values.contains(sizeKey) && stored.values.value(sizeKey).toString() == expected->codeFlashSize;
}

// After a failed write the list shows what the file holds, not what was asked of it.
void FotaPackDialog::returnToStoredProject(const QString &name)
{
    const StoredProject stored = storedProject(name);
    settings.remove(name);
    if (!stored.present)
        return;
    settings.beginGroup(name);
    for (auto value = stored.values.cbegin(); value != stored.values.cend(); ++value)
        settings.setValue(value.key(), value.value());
    settings.endGroup();
}

void FotaPackDialog::reportStoreWriteFailed()
{
    teLog->appendPlainText(QStringLiteral("The project store could not be written: %1")
                               .arg(QDir::toNativeSeparators(settings.fileName())));
}

// Said at once: an empty list alone would read as a store without projects.
void FotaPackDialog::reportStoreUnreadable()
{
    teLog->appendPlainText(QStringLiteral("The project store could not be read: %1")
                               .arg(QDir::toNativeSeparators(settings.fileName())));
}

void FotaPackDialog::onAddConfig()
{
    FotaConfigDialog dialog(this);
    dialog.setExistingNames(settings.childGroups());
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
    if (storeHolds(name, nullptr)) {
        cbConfig->removeItem(cbConfig->currentIndex());
        // Without this, Edit, Remove and Run would stay enabled after the last project is gone.
        updateControls();
    } else {
        reportStoreWriteFailed();
        returnToStoredProject(name);
        reloadProjects();
    }
    // Left on Remove, a second key press would delete the next project too.
    cbConfig->setFocus();
}
