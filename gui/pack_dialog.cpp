#include "pack_dialog.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTextBlock>
#include <QTextCursor>
#include <QThreadPool>
#include <QTimer>
#include <QtConcurrent>

#include "code_area_arguments.h"
#include "failure_detail.h"
#include "project_combo_box.h"
#include "size_text.h"
#include "store_location.h"

namespace {

constexpr int runningTickMs = 1000;

QPushButton *makeButton(const QString &name, const QString &text)
{
    auto *button = new QPushButton(text);
    button->setObjectName(name);
    return button;
}

// Three buttons read "...", so each tells a pointer and a screen reader what it chooses.
QPushButton *makeBrowseButton(const QString &name, const QString &text, const QString &purpose)
{
    QPushButton *button = makeButton(name, text);
    button->setToolTip(purpose);
    button->setAccessibleName(purpose);
    return button;
}

QLineEdit *makeLineEdit(const QString &name)
{
    auto *edit = new QLineEdit;
    edit->setObjectName(name);
    return edit;
}

QLabel *makeLabel(const QString &name, const QString &text, QWidget *buddy)
{
    auto *label = new QLabel(text);
    label->setObjectName(name);
    label->setBuddy(buddy);
    return label;
}

} // namespace

FotaPackDialog::FotaPackDialog(const QString &storePath, QWidget *parent)
    : QDialog(parent), settings(storePath, QSettings::IniFormat),
      inputState(inputStatePath(storePath), QSettings::IniFormat)
{
    timer = new QTimer(this);
    timer->setSingleShot(true);
    watcher = new QFutureWatcher<int>(this);
    watcher->setObjectName(QStringLiteral("watcher"));
    createWidgets();
    teLog->setWordWrapMode(QTextOption::WrapAnywhere);
    teLog->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    createConnections();
    reloadProjects();
    // Reading the store for the list has told whether it could be read at all.
    if (settings.status() != QSettings::NoError)
        reportStoreUnreadable();
    restoreInputs();
    updateControls();
}

FotaPackDialog::~FotaPackDialog()
{
    // The job writes into this object and cannot be cancelled, so it has to end first.
    watcher->waitForFinished();
}

void FotaPackDialog::createWidgets()
{
    setWindowTitle(tr("Create FOTA pack"));

    cbConfig = new ProjectComboBox;
    cbConfig->setObjectName(QStringLiteral("cbConfig"));
    pbConfigEdit = makeButton(QStringLiteral("pbConfigEdit"), tr("Edit"));
    pbConfigAdd = makeButton(QStringLiteral("pbConfigAdd"), tr("Add"));
    pbConfigRemove = makeButton(QStringLiteral("pbConfigRemove"), tr("Remove"));
    leOldLod = makeLineEdit(QStringLiteral("leOldLod"));
    pbOldBrowse = makeBrowseButton(QStringLiteral("pbOldBrowse"), tr("..."),
                                   tr("Choose the old LOD file"));
    leNewLod = makeLineEdit(QStringLiteral("leNewLod"));
    pbNewBrowse = makeBrowseButton(QStringLiteral("pbNewBrowse"), tr("..."),
                                   tr("Choose the new LOD file"));
    lePatch = makeLineEdit(QStringLiteral("lePatch"));
    pbPatchBrowse = makeBrowseButton(QStringLiteral("pbPatchBrowse"), tr("..."),
                                     tr("Choose the pack file to write"));
    pbRun = makeButton(QStringLiteral("pbRun"), tr("Run"));
    // Enter in a path field starts the run rather than opening the first button's dialog.
    pbRun->setDefault(true);
    teLog = new QPlainTextEdit;
    teLog->setObjectName(QStringLiteral("teLog"));
    teLog->setReadOnly(true);

    auto *gridLayout = new QGridLayout(this);
    gridLayout->setObjectName(QStringLiteral("gridLayout"));
    gridLayout->addWidget(makeLabel(QStringLiteral("label"), tr("Project"), cbConfig), 0, 0);
    gridLayout->addWidget(cbConfig, 0, 1);
    gridLayout->addWidget(pbConfigEdit, 0, 2);
    gridLayout->addWidget(pbConfigAdd, 0, 3);
    gridLayout->addWidget(pbConfigRemove, 0, 4);
    gridLayout->addWidget(makeLabel(QStringLiteral("label_2"), tr("Old LOD"), leOldLod), 1, 0);
    gridLayout->addWidget(leOldLod, 1, 1, 1, 3);
    gridLayout->addWidget(pbOldBrowse, 1, 4);
    gridLayout->addWidget(makeLabel(QStringLiteral("label_3"), tr("New LOD"), leNewLod), 2, 0);
    gridLayout->addWidget(leNewLod, 2, 1, 1, 3);
    gridLayout->addWidget(pbNewBrowse, 2, 4);
    gridLayout->addWidget(makeLabel(QStringLiteral("label_4"), tr("Patch"), lePatch), 3, 0);
    gridLayout->addWidget(lePatch, 3, 1, 1, 3);
    gridLayout->addWidget(pbPatchBrowse, 3, 4);
    gridLayout->addWidget(pbRun, 4, 4);
    gridLayout->addWidget(teLog, 6, 0, 1, 5);
    gridLayout->setColumnStretch(1, 1);
    gridLayout->setRowStretch(6, 1);

    setTabOrder(cbConfig, pbConfigEdit);
    setTabOrder(pbConfigEdit, pbConfigAdd);
    setTabOrder(pbConfigAdd, pbConfigRemove);
    setTabOrder(pbConfigRemove, leOldLod);
    setTabOrder(leOldLod, pbOldBrowse);
    setTabOrder(pbOldBrowse, leNewLod);
    setTabOrder(leNewLod, pbNewBrowse);
    setTabOrder(pbNewBrowse, lePatch);
    setTabOrder(lePatch, pbPatchBrowse);
    setTabOrder(pbPatchBrowse, pbRun);
    setTabOrder(pbRun, teLog);

    resize(583, 355);
}

void FotaPackDialog::createConnections()
{
    connect(timer, &QTimer::timeout, this, &FotaPackDialog::runningTimer);
    connect(watcher, &QFutureWatcher<int>::finished, this, &FotaPackDialog::runFinished);
    connect(pbConfigEdit, &QPushButton::clicked, this, &FotaPackDialog::onEditConfig);
    connect(pbConfigAdd, &QPushButton::clicked, this, &FotaPackDialog::onAddConfig);
    connect(pbConfigRemove, &QPushButton::clicked, this, &FotaPackDialog::onRemoveConfig);
    connect(pbOldBrowse, &QPushButton::clicked, this, &FotaPackDialog::onBrowseOld);
    connect(pbNewBrowse, &QPushButton::clicked, this, &FotaPackDialog::onBrowseNew);
    connect(pbPatchBrowse, &QPushButton::clicked, this, &FotaPackDialog::onBrowsePatch);
    connect(pbRun, &QPushButton::clicked, this, &FotaPackDialog::onRun);
    // Paths typed or pasted by hand count as much as chosen ones for enabling Run.
    for (QLineEdit *path : {leOldLod, leNewLod, lePatch})
        connect(path, &QLineEdit::textEdited, this, &FotaPackDialog::updateControls);
}

void FotaPackDialog::updateControls()
{
    const bool idle = !running;
    const bool haveProject = idle && cbConfig->count() > 0;
    // A path of spaces only would name a file "   " in the working folder: nobody means that.
    const bool havePaths = !leOldLod->text().trimmed().isEmpty()
                           && !leNewLod->text().trimmed().isEmpty()
                           && !lePatch->text().trimmed().isEmpty();

    const QList<QWidget *> inputs{cbConfig, pbConfigAdd, leOldLod, leNewLod,
                                  lePatch, pbOldBrowse, pbNewBrowse, pbPatchBrowse};
    for (QWidget *control : inputs)
        control->setEnabled(idle);
    pbConfigEdit->setEnabled(haveProject);
    pbConfigRemove->setEnabled(haveProject);
    pbRun->setEnabled(haveProject && havePaths);
}

void FotaPackDialog::reject()
{
    if (running) {
        // Said once; the run's own lines go in above it, so its block stays whole.
        if (!closeRequested)
            teLog->appendPlainText(QStringLiteral("Cannot close while the pack is being created."));
        closeRequested = true;
        return;
    }
    QDialog::reject();
}

void FotaPackDialog::done(int result)
{
    rememberInputs();
    QDialog::done(result);
}

void FotaPackDialog::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    // The window's own size is fixed, but a small screen must still show every control.
    if (const QScreen *shown = screen()) {
        const QSize room = shown->availableGeometry().size();
        if (width() > room.width() || height() > room.height())
            resize(size().boundedTo(room));
    }
}

void FotaPackDialog::onBrowseOld()
{
    const QString path = QFileDialog::getOpenFileName(this, QStringLiteral("Open old LOD file"),
                                                      QString(),
                                                      QStringLiteral("Old LOD files (*.lod)"));
    if (path.isEmpty())
        return;
    leOldLod->setText(path);
    updateControls();
}

void FotaPackDialog::onBrowseNew()
{
    const QString path = QFileDialog::getOpenFileName(this, QStringLiteral("Open new LOD file"),
                                                      QString(),
                                                      QStringLiteral("New LOD files (*.lod)"));
    if (path.isEmpty())
        return;
    leNewLod->setText(path);
    updateControls();
}

void FotaPackDialog::onBrowsePatch()
{
    QFileDialog files(this, QStringLiteral("Save FOTA pack file"), QString(),
                      QStringLiteral("FOTA pack files (*.pack)"));
    files.setAcceptMode(QFileDialog::AcceptSave);
    // Added before the dialog asks about replacing a file, so it asks about the right one.
    files.setDefaultSuffix(QStringLiteral("pack"));
    if (files.exec() != QDialog::Accepted || files.selectedFiles().value(0).isEmpty())
        return;
    lePatch->setText(files.selectedFiles().value(0));
    updateControls();
}

void FotaPackDialog::onRun()
{
    running = true;
    updateControls();
    timer->start(runningTickMs);
    rememberInputs();

    const QString projectName = cbConfig->currentText();
    settings.beginGroup(projectName);
    area.flashBase = deviceFlashBase;
    area.codeBase = static_cast<uint32_t>(
        parseSizeText(settings.value(QStringLiteral("codeFlashBase")).toString()));
    area.codeSize = static_cast<uint32_t>(
        parseSizeText(settings.value(QStringLiteral("codeFlashSize")).toString()));
    settings.endGroup();

    teLog->clear();
    teLog->appendPlainText(QStringLiteral("Create FOTA pack for project %1").arg(projectName));
    teLog->appendPlainText(QStringLiteral("  old: %1").arg(leOldLod->text()));
    teLog->appendPlainText(QStringLiteral("  new: %1").arg(leNewLod->text()));
    teLog->appendPlainText(QStringLiteral("  pack: %1").arg(lePatch->text()));
    teLog->appendPlainText(QStringLiteral("  code base: %1").arg(area.codeBase));
    teLog->appendPlainText(QStringLiteral("  code size: %1").arg(area.codeSize));
    teLog->appendPlainText(QStringLiteral("Run ."));
    runLineBlock = teLog->blockCount() - 1;

    jobOldLod = leOldLod->text().toUtf8();
    jobNewLod = leNewLod->text().toUtf8();
    jobPatch = lePatch->text().toUtf8();
    watcher->setFuture(
        QtConcurrent::run(QThreadPool::globalInstance(), this, &FotaPackDialog::runPackJob));
}

int FotaPackDialog::runPackJob()
{
    return FotaCreatePack(jobOldLod.constData(), jobNewLod.constData(), jobPatch.constData(),
                          &oldStart, &oldSize, &oldCrc, area);
}

void FotaPackDialog::runningTimer()
{
    timer->start(runningTickMs);
    appendToRunLine(QStringLiteral("."));
}

void FotaPackDialog::runFinished()
{
    timer->stop();
    running = false;
    updateControls();

    const int result = watcher->result();
    if (result != FOTA_OK) {
        QStringList lines{QStringLiteral("Failed: %1").arg(QString::fromLatin1(FotaErrorMsg(result)))};
        const QString detail = failureDetail(
            result, RunInputs{QString::fromUtf8(jobOldLod), QString::fromUtf8(jobNewLod),
                              QString::fromUtf8(jobPatch), area.codeBase, area.codeSize});
        if (!detail.isEmpty())
            lines << detail;
        insertAfterRunLine(lines);
    } else {
        appendToRunLine(QStringLiteral("SUCCESS"));
        insertAfterRunLine({QStringLiteral("  old start: %1").arg(oldStart),
                            QStringLiteral("  old size: %1").arg(oldSize),
                            QStringLiteral("  old CRC: 0x%1").arg(oldCrc, 8, 16, QLatin1Char('0')),
                            packFileLine(), QString()});
    }
    if (closeRequested) {
        closeRequested = false;
        teLog->appendPlainText(QStringLiteral("The run has ended; the window can now be closed."));
    }
}

// Where the pack really went: a relative path resolves against the folder packgui was started in.
QString FotaPackDialog::packFileLine() const
{
    const QFileInfo pack(QString::fromUtf8(jobPatch));
    return QStringLiteral("  pack file: %1 (%2 bytes)")
        .arg(QDir::toNativeSeparators(pack.absoluteFilePath()))
        .arg(pack.size());
}

void FotaPackDialog::appendToRunLine(const QString &text)
{
    QTextCursor cursor(teLog->document()->findBlockByNumber(runLineBlock));
    cursor.movePosition(QTextCursor::EndOfBlock);
    cursor.insertText(text);
    teLog->moveCursor(QTextCursor::End);
}

// Notes written during the run follow these lines instead of splitting the run's block.
void FotaPackDialog::insertAfterRunLine(const QStringList &lines)
{
    QTextCursor cursor(teLog->document()->findBlockByNumber(runLineBlock));
    cursor.movePosition(QTextCursor::EndOfBlock);
    for (const QString &line : lines)
        cursor.insertText(QLatin1Char('\n') + line);
    teLog->moveCursor(QTextCursor::End);
}
