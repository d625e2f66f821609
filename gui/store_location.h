// Where the project store "projects.ini" lives.
#ifndef PACKGUI_STORE_LOCATION_H
#define PACKGUI_STORE_LOCATION_H

class QString;

// Beside the program when the store is already there or the program's folder can be
// written; otherwise in the user's own configuration folder. Returns an absolute path.
QString projectStorePath(const QString &programDir);

// The file beside the store that keeps the last paths and project between sessions;
// the store itself holds projects only.
QString inputStatePath(const QString &storePath);

#endif
