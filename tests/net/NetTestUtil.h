#pragma once
// Helpers the network tests share: files and reproducible random content.
#include <QByteArray>
#include <QFile>
#include <QRandomGenerator>
#include <functional>

#include "platform/Exception.h"

namespace ostrel::test {

inline QByteArray readFile(const QString& name) {
    QFile f(name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

inline bool writeFile(const QString& name, const QByteArray& data) {
    QFile f(name);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
}

// Random bytes; with crlfEvery, also the CR LF pairs an ASCII-mode transfer would rewrite.
inline QByteArray randomBytes(qsizetype size, quint32 seed, qsizetype crlfEvery = 0) {
    QByteArray b(size, Qt::Uninitialized);
    QRandomGenerator rng(seed);
    for (auto& c : b)
        c = char(rng.bounded(256));
    for (qsizetype i = 0; crlfEvery && i + 1 < size; i += crlfEvery) {
        b[i] = '\r';
        b[i + 1] = '\n';
    }
    return b;
}

// The message of what `f` raised; empty when it raised nothing.
inline QString raised(const std::function<void()>& f) {
    try {
        f();
    } catch (const Exception& e) {
        return e.message();
    }
    return QString();
}

} // namespace ostrel::test
