// A static Qt finds no plugins at run time: the ones packgui and its tests use are linked in
// and registered here. Windows' own platform, the offscreen one for the tests, the .ico reader
// for the window icon, and the style that draws the widgets as Windows does.
#include <QtPlugin>

Q_IMPORT_PLUGIN(QWindowsIntegrationPlugin)
Q_IMPORT_PLUGIN(QOffscreenIntegrationPlugin)
Q_IMPORT_PLUGIN(QICOPlugin)
Q_IMPORT_PLUGIN(QWindowsVistaStylePlugin)
