#include "crypto/owner_stamp.h"

#include "core/settings_keys.h"
#include "core/settings_store.h"
#include "crypto/hardware_address.h"

namespace tessaro::stamp {

QString buildOwnerStamp(const QString& password, const QString& hardwareAddress) {
    QString padded = password;
    if (padded.size() < kPaddedPasswordLength) {
        padded.append(QString(kPaddedPasswordLength - padded.size(), QLatin1Char('0')));
    }
    return QString::fromLatin1(kVersionPrefix) + hardwareAddress + QString::fromLatin1(kSeparatorTag) + padded;
}

QString getEncrtyptPassword() {
    return buildOwnerStamp(SettingsStore::stringValue(QString::fromLatin1(keys::kSOUREPASSWORD)), getMacAddress());
}

QString bodyKeyFromStamp(const QString& ownerStamp) {
    const QString tag = QString::fromLatin1(kSeparatorTag);
    const qsizetype at = ownerStamp.lastIndexOf(tag);
    return at < 0 ? ownerStamp : ownerStamp.mid(at + tag.size());
}

}  // namespace tessaro::stamp
