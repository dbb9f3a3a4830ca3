#pragma once

#include <QByteArray>
#include <QString>

// Small helpers for the real files the window tests work on.
namespace TestFiles {

// Deterministic bytes that differ from offset to offset.
QByteArray pattern(qsizetype length);
void write(const QString& path, const QByteArray& bytes);
QByteArray read(const QString& path);

} // namespace TestFiles
