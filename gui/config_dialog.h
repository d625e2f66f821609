// The small dialog in which a project configuration is added or edited.
#ifndef PACKGUI_CONFIG_DIALOG_H
#define PACKGUI_CONFIG_DIALOG_H

#include <QDialog>

#include "project_config.h"

class QLineEdit;

class FotaConfigDialog : public QDialog {
    Q_OBJECT

public:
    explicit FotaConfigDialog(QWidget *parent = nullptr, Qt::WindowFlags flags = Qt::WindowFlags());

    // Shows an existing project; its name can then no longer be changed.
    void setConfig(const ProjectConfig &config);
    ProjectConfig getConfig() const;

private:
    void createWidgets();

    QLineEdit *leProjectName = nullptr;
    QLineEdit *lineEdit_2 = nullptr;
    QLineEdit *leCodeBase = nullptr;
    QLineEdit *leCodeSize = nullptr;
};

#endif
