#include "gui_test_support.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QPlainTextEdit>
#include <QThreadPool>
#include <QTimer>
#include <QWidget>

#include <random>

WorkDir::WorkDir() : previous(QDir::currentPath())
{
    QDir::setCurrent(dir.path());
}

WorkDir::~WorkDir()
{
    QDir::setCurrent(previous);
}

bool writeLod(const QString &path, uint32_t address, const std::vector<uint8_t> &bytes)
{
    QFile file(path);
    if (bytes.size() % 4 != 0 || !file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    QByteArray text = "@" + QByteArray::number(address, 16).rightJustified(8, '0') + "\n";
    for (size_t i = 0; i < bytes.size(); i += 4) {
        const uint32_t word = bytes[i] | bytes[i + 1] << 8 | bytes[i + 2] << 16
                              | static_cast<uint32_t>(bytes[i + 3]) << 24;
        text += QByteArray::number(word, 16).rightJustified(8, '0') + "\n";
    }
    return file.write(text) == text.size();
}

std::vector<uint8_t> randomBytes(size_t count, uint32_t seed)
{
    std::mt19937 generator(seed);
    std::vector<uint8_t> bytes(count);
    for (uint8_t &byte : bytes)
        byte = static_cast<uint8_t>(generator());
    return bytes;
}

uint32_t referenceCrc(const std::vector<uint8_t> &bytes)
{
    uint32_t crc = 0;
    for (uint8_t byte : bytes) {
        crc ^= byte;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return crc;
}

namespace {

uint32_t readLe32(const QByteArray &data, int offset)
{
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = value << 8 | static_cast<uint8_t>(data[offset + i]);
    return value;
}

} // namespace

PackHeaderFields readPackHeader(const QString &path)
{
    PackHeaderFields fields;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return fields;
    const QByteArray data = file.readAll();
    if (data.size() < 28 || !data.startsWith("VYNOTA01"))
        return fields;
    fields.valid = true;
    fields.oldCrc = readLe32(data, 8);
    fields.oldStart = readLe32(data, 12);
    fields.oldSize = readLe32(data, 16);
    return fields;
}

void whenModal(std::function<void(QWidget *)> action)
{
    QTimer::singleShot(10, [action]() {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal) {
            whenModal(action);
            return;
        }
        action(modal);
        // A failed check inside action must not leave the dialog waiting for ever.
        if (auto *dialog = qobject_cast<QDialog *>(modal); dialog && dialog->isVisible())
            dialog->reject();
    });
}

QStringList logLines(QWidget *dialog)
{
    auto *log = dialog->findChild<QPlainTextEdit *>(QStringLiteral("teLog"));
    return log ? log->toPlainText().split(QLatin1Char('\n')) : QStringList();
}

PoolBlocker::PoolBlocker()
{
    QThreadPool *pool = QThreadPool::globalInstance();
    pool->setMaxThreadCount(1);
    pool->start([this]() {
        started.release();
        gate.acquire();
    });
    started.acquire();
}

PoolBlocker::~PoolBlocker()
{
    release();
    QThreadPool::globalInstance()->waitForDone();
    QThreadPool::globalInstance()->setMaxThreadCount(QThread::idealThreadCount());
}

void PoolBlocker::release()
{
    if (released)
        return;
    released = true;
    gate.release();
}
