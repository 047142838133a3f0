#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <optional>

namespace tessaro::testing {

// Runs a python3 snippet (an independent plist reader and writer) with the given
// arguments; its standard output, or absent when python3 failed. Its error output goes to
// `error` so that a failing test says why.
inline std::optional<QByteArray> runPython(const QString& script, const QStringList& arguments,
                                           QString* error = nullptr) {
    QProcess python;
    python.start(QStringLiteral("python3"), QStringList{QStringLiteral("-c"), script} + arguments);
    if (!python.waitForFinished(60000) || python.exitStatus() != QProcess::NormalExit || python.exitCode() != 0) {
        if (error) {
            *error = QString::fromUtf8(python.readAllStandardError()) + python.errorString();
        }
        return std::nullopt;
    }
    return python.readAllStandardOutput();
}

// Reads a property-list file with python's plistlib and returns it as JSON: texts, whole
// numbers and flags as they are, every other value as python's repr of it.
inline std::optional<QJsonDocument> plistAsJsonByPython(const QString& path, QString* error = nullptr) {
    static const QString script = QStringLiteral(
        "import json, plistlib, sys\n"
        "def conv(v):\n"
        "    if isinstance(v, dict): return {k: conv(x) for k, x in v.items()}\n"
        "    if isinstance(v, list): return [conv(x) for x in v]\n"
        "    return v if isinstance(v, (str, int)) else repr(v)\n"
        "with open(sys.argv[1], 'rb') as f:\n"
        "    print(json.dumps(conv(plistlib.load(f, fmt=plistlib.FMT_XML))))\n");
    auto out = runPython(script, {path}, error);
    if (!out) {
        return std::nullopt;
    }
    return QJsonDocument::fromJson(*out);
}

}  // namespace tessaro::testing
