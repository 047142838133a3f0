#include "crypto/help_class.h"

#include "crypto/item_inspection.h"

namespace tessaro {

QString HelpClass::contentSizeForPath(const FileModel& model) {
    return inspection::contentSizeText(model.fileSize.load());
}
QImage HelpClass::resizeImage(const QImage& image, const QSizeF& maxSize) {
    return inspection::resizeImage(image, maxSize);
}
QString HelpClass::getTimeIntervalSince() { return inspection::getTimeIntervalSince(); }
QHash<QString, QString> HelpClass::getTimeInThisTimeZoneAfter(const std::optional<QDateTime>& date) {
    return inspection::getTimeInThisTimeZoneAfter(date);
}
QString HelpClass::weekDay(qint64 weekdayNumber) { return inspection::weekDay(weekdayNumber); }
QString HelpClass::monthWithNum(qint64 monthNumber) { return inspection::monthWithNum(monthNumber); }

}  // namespace tessaro
