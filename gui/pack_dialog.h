// The main window: project choice, file choice, and a pack run on a worker thread.
#ifndef PACKGUI_PACK_DIALOG_H
#define PACKGUI_PACK_DIALOG_H

#include <QByteArray>
#include <QDialog>
#include <QFutureWatcher>
#include <QSettings>

#include <cstdint>

#include "quarnel.h"

class ProjectComboBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QStringList;
class QTimer;
struct ProjectConfig;
struct StoredProject;

class FotaPackDialog : public QDialog {
    Q_OBJECT

public:
    // storePath names the project store, "projects.ini" wherever it was found to live; the
    // paths and the project last used are kept in a file of their own beside it.
    explicit FotaPackDialog(const QString &storePath, QWidget *parent = nullptr);
    ~FotaPackDialog() override;

public slots:
    // Escape and the window's close button end up here; refused while a pack is being built.
    void reject() override;
    // However the window closes, what it was last given is kept for the next start.
    void done(int result) override;

protected:
    void showEvent(QShowEvent *event) override;

private slots:
    void onEditConfig();
    void onAddConfig();
    void onRemoveConfig();
    void onBrowseOld();
    void onBrowseNew();
    void onBrowsePatch();
    void onRun();
    void runningTimer();
    void runFinished();

private:
    void createWidgets();
    void createConnections();
    void updateControls();

    void reloadProjects();
    bool readProject(ProjectConfig &config);
    void saveProject(const ProjectConfig &config);
    StoredProject storedProject(const QString &name) const;
    // Whether the file holds the project as expected, or (expected null) no longer holds it.
    bool storeHolds(const QString &name, const ProjectConfig *expected) const;
    void returnToStoredProject(const QString &name);
    void reportStoreWriteFailed();
    void reportStoreUnreadable();

    void restoreInputs();
    void rememberInputs();

    int runPackJob();
    void appendToRunLine(const QString &text);
    void insertAfterRunLine(const QStringList &lines);
    QString packFileLine() const;

    bool running = false;
    uint32_t oldStart = 0;
    uint32_t oldSize = 0;
    uint32_t oldCrc = 0;
    CodeArea area{0, 0, 0};
    QSettings settings;
    QSettings inputState;
    QTimer *timer = nullptr;
    QFutureWatcher<int> *watcher = nullptr;

    // The job's paths, converted once on this thread before the job starts.
    QByteArray jobOldLod;
    QByteArray jobNewLod;
    QByteArray jobPatch;
    // The log line that the dots and "SUCCESS" extend, even if notes follow it.
    int runLineBlock = -1;
    // A close refused during the run is answered once the run has ended.
    bool closeRequested = false;

    ProjectComboBox *cbConfig = nullptr;
    QPushButton *pbConfigEdit = nullptr;
    QPushButton *pbConfigAdd = nullptr;
    QPushButton *pbConfigRemove = nullptr;
    QLineEdit *leOldLod = nullptr;
    QPushButton *pbOldBrowse = nullptr;
    QLineEdit *leNewLod = nullptr;
    QPushButton *pbNewBrowse = nullptr;
    QLineEdit *lePatch = nullptr;
    QPushButton *pbPatchBrowse = nullptr;
    QPushButton *pbRun = nullptr;
    QPlainTextEdit *teLog = nullptr;
};

#endif
