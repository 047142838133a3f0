#pragma once

#include "core/file_model.h"
#include "crypto/item_hiding.h"
#include "crypto/swapped_name.h"
#include "crypto/tree_walk.h"
#include "support/test_environment.h"

#include <QByteArray>
#include <QDir>
#include <QMap>
#include <QProcess>
#include <QString>

#include <memory>

namespace tessaro::testing {

// AES-128-ECB/PKCS#7 by the openssl program: an independent encoder for the expected bytes.
inline QByteArray opensslEcb(const QByteArray& keyText, const QByteArray& data) {
    QByteArray key = keyText.left(16);
    key.append(QByteArray(16 - key.size(), '\0'));
    QProcess p;
    p.start(QStringLiteral("openssl"), {QStringLiteral("enc"), QStringLiteral("-aes-128-ecb"), QStringLiteral("-K"),
                                        QString::fromLatin1(key.toHex())});
    p.waitForStarted();
    p.write(data);
    p.closeWriteChannel();
    p.waitForFinished(-1);
    return p.readAllStandardOutput();
}

// The stamp the test environment's password and address give, written out by hand.
inline QByteArray expectedStamp(const QByteArray& password = TestEnvironment::kPassword) {
    const QByteArray zeros(std::max<qsizetype>(0, 30 - password.size()), '0');
    return "1.0.0_" + QByteArray(TestEnvironment::kMacAddress) + "_tsro_" + password + zeros;
}

// Every file and folder below a directory, folders as "<dir>".
inline Tree snapshot(const QString& root) { return readTree(root, true); }

inline QStringList entriesOf(const QString& dir) {
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

// What a walk told the user, for a failure message.
inline std::string problemsOf(const ItemResult& r) { return r.problems.join(QLatin1Char('\n')).toStdString(); }

inline FileModelPtr newRecord(const QString& path) {
    auto model = std::make_shared<FileModel>();
    model->path = path;
    model->name = QFileInfo(path).fileName();
    return model;
}

inline walk::ItemPaths pathsFor(const QString& plain, const QString& container) {
    return walk::ItemPaths{plain, container + QLatin1Char('/') + swappedName(QFileInfo(plain).fileName()),
                           walk::classForItemName(plain)};
}

}  // namespace tessaro::testing
