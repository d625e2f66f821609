// The small dialog in which a project configuration is added or edited.
#ifndef PACKGUI_CONFIG_DIALOG_H
#define PACKGUI_CONFIG_DIALOG_H

#include <QDialog>
#include <QStringList>

#include "project_config.h"

class QLabel;
class QLineEdit;
class QPushButton;

class FotaConfigDialog : public QDialog {
    Q_OBJECT

public:
    explicit FotaConfigDialog(QWidget *parent = nullptr, Qt::WindowFlags flags = Qt::WindowFlags());

    // Shows an existing project; its name can then no longer be changed.
    void setConfig(const ProjectConfig &config);
    ProjectConfig getConfig() const;
    // The projects in the store, so that a name that would replace one of them is pointed out.
    void setExistingNames(const QStringList &names);

private:
    void createWidgets();
    void createConnections();
    void checkName();
    void updateHints();
    QString nameProblem(const QString &name) const;
    QString valueHint(const QString &text) const;

    QLineEdit *leProjectName = nullptr;
    QLineEdit *lineEdit_2 = nullptr;
    QLineEdit *leCodeBase = nullptr;
    QLineEdit *leCodeSize = nullptr;
    QLabel *lbCodeBaseHint = nullptr;
    QLabel *lbCodeSizeHint = nullptr;
    QLabel *lbNameProblem = nullptr;
    QLabel *lbReplaceNotice = nullptr;
    QPushButton *pbOk = nullptr;
    QStringList existingNames;
};

#endif
