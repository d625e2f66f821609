// One named project configuration, with its numbers kept as typed.
#ifndef PACKGUI_PROJECT_CONFIG_H
#define PACKGUI_PROJECT_CONFIG_H

#include <QString>

struct ProjectConfig {
    QString name;
    QString codeFlashBase;
    QString codeFlashSize;
};

#endif
