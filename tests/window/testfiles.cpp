#include "testfiles.h"

#include <QFile>

namespace TestFiles {

QByteArray pattern(qsizetype length)
{
    QByteArray bytes(length, Qt::Uninitialized);
    quint32 state = 12345;
    for (qsizetype i = 0; i < length; ++i) {
        state = state * 1103515245u + 12345u;
        bytes[i] = char(state >> 24);
    }
    return bytes;
}

void write(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(bytes);
}

QByteArray read(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace TestFiles
