// What the main dialog keeps between sessions: the three paths and the chosen project.
#include "pack_dialog.h"

#include <QLineEdit>

#include "project_combo_box.h"

namespace {

const char *const projectKey = "project";
const char *const oldLodKey = "oldLod";
const char *const newLodKey = "newLod";
const char *const packKey = "pack";

} // namespace

// A project that is no longer in the store leaves the list's own choice alone.
void FotaPackDialog::restoreInputs()
{
    const int project = cbConfig->findText(inputState.value(QLatin1String(projectKey)).toString(),
                                           Qt::MatchFixedString | Qt::MatchCaseSensitive);
    if (project >= 0)
        cbConfig->setCurrentIndex(project);
    leOldLod->setText(inputState.value(QLatin1String(oldLodKey)).toString());
    leNewLod->setText(inputState.value(QLatin1String(newLodKey)).toString());
    lePatch->setText(inputState.value(QLatin1String(packKey)).toString());
}

// Not reported when it fails: what is lost is a retyped path, and the store's own
// failures, which lose projects, are reported already.
void FotaPackDialog::rememberInputs()
{
    inputState.setValue(QLatin1String(projectKey), cbConfig->currentText());
    inputState.setValue(QLatin1String(oldLodKey), leOldLod->text());
    inputState.setValue(QLatin1String(newLodKey), leNewLod->text());
    inputState.setValue(QLatin1String(packKey), lePatch->text());
    inputState.sync();
}
