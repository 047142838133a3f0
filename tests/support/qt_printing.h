#pragma once

#include <QString>
#include <QStringList>

#include <ostream>

// Failures show texts as text, not as the bytes of their characters.
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }
inline void PrintTo(const QStringList& texts, std::ostream* out) {
    *out << '[' << texts.join(QStringLiteral("\", \"")).toStdString() << ']';
}
