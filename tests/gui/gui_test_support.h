// Helpers shared by the packgui tests: a private working folder, LOD files,
// pack headers, and driving the modal dialogs that the main window opens.
#ifndef PACKGUI_TEST_SUPPORT_H
#define PACKGUI_TEST_SUPPORT_H

#include <QSemaphore>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <vector>

// A fresh temporary folder made the current directory, with the project store in it.
class WorkDir {
public:
    WorkDir();
    ~WorkDir();
    bool isValid() const { return dir.isValid(); }
    QString path(const QString &name) const { return dir.filePath(name); }
    QString store() const { return path(QStringLiteral("projects.ini")); }

private:
    QTemporaryDir dir;
    QString previous;
};

// Writes one LOD section at address: "@xxxxxxxx" and one word per line, bytes little-endian.
bool writeLod(const QString &path, uint32_t address, const std::vector<uint8_t> &bytes);

// Deterministic pseudo-random bytes.
std::vector<uint8_t> randomBytes(size_t count, uint32_t seed);

// Reflected CRC-32, polynomial 0xEDB88320, start 0, no final inversion: the pack's checksum.
uint32_t referenceCrc(const std::vector<uint8_t> &bytes);

struct PackHeaderFields {
    bool valid = false;
    uint32_t oldCrc = 0;
    uint32_t oldStart = 0;
    uint32_t oldSize = 0;
};

// Reads the magic and the old image's fields from a pack file.
PackHeaderFields readPackHeader(const QString &path);

// The child widget of that object name and kind, or null.
template <typename T>
T *child(QWidget *parent, const char *name)
{
    return parent->findChild<T *>(QLatin1String(name));
}

// Runs action on the next modal widget as soon as one is open (for dialogs opened with exec()).
void whenModal(std::function<void(QWidget *)> action);

// The log of a dialog, one entry per line.
QStringList logLines(QWidget *dialog);

// Keeps the global thread pool's only thread busy, so a started run stays in progress.
class PoolBlocker {
public:
    PoolBlocker();
    ~PoolBlocker();
    void release();

private:
    QSemaphore started;
    QSemaphore gate;
    bool released = false;
};

#endif
