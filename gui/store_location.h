// Where the project store "projects.ini" lives.
#ifndef PACKGUI_STORE_LOCATION_H
#define PACKGUI_STORE_LOCATION_H

class QString;

// Beside the program when the store is already there or the program's folder can be
// written; otherwise in the user's own configuration folder. Returns an absolute path.
QString projectStorePath(const QString &programDir);

#endif
