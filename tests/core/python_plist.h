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

// Reads a property-list file with python's plistlib and returns it as JSON (every scalar but
// strings tagged with its type: {"__int__": "12"}, {"__bool__": true}, {"__real__": "1.5"},
// {"__date__": ISO text}, {"__data__": base64}; dictionaries list their key order in
// "__keys__").
inline std::optional<QJsonDocument> plistAsJsonByPython(const QString& path, QString* error = nullptr) {
    static const QString script = QStringLiteral(
        "import base64, datetime, json, plistlib, sys\n"
        "def conv(v):\n"
        "    if isinstance(v, dict): return {'__keys__': list(v.keys()), **{k: conv(x) for k, x in v.items()}}\n"
        "    if isinstance(v, list): return [conv(x) for x in v]\n"
        "    if isinstance(v, bytes): return {'__data__': base64.b64encode(v).decode()}\n"
        "    if isinstance(v, datetime.datetime): return {'__date__': v.isoformat()}\n"
        "    if isinstance(v, bool): return {'__bool__': v}\n"
        "    if isinstance(v, int): return {'__int__': str(v)}\n"
        "    if isinstance(v, float): return {'__real__': repr(v)}\n"
        "    return v\n"
        "with open(sys.argv[1], 'rb') as f:\n"
        "    print(json.dumps(conv(plistlib.load(f, fmt=plistlib.FMT_XML)), ensure_ascii=True))\n");
    auto out = runPython(script, {path}, error);
    if (!out) {
        return std::nullopt;
    }
    return QJsonDocument::fromJson(*out);
}

}  // namespace tessaro::testing
