// Conversion of the number texts kept in a project configuration.
#ifndef PACKGUI_SIZE_TEXT_H
#define PACKGUI_SIZE_TEXT_H

class QString;

// Converts "0x10000", "64K", "4M", "010" and the like; a text that is not a
// number, or does not fit a signed 32-bit value, gives 0.
int parseSizeText(const QString &text);

#endif
