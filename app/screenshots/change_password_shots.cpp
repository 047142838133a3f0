#include "app/screenshots/change_password_shots.h"

#include "app/change_password_window.h"
#include "controls/modal_seam.h"

#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QTest>

namespace tessaro::screenshots {

namespace {

void type(ChangePasswordWController* w, const QString& old, const QString& now, const QString& verify,
          const QString& hint) {
    w->oldPasswordField()->setText(old);
    w->nowPasswordField()->setText(now);
    w->verifyField()->setText(verify);
    w->passwordHitField()->setText(hint);
}

// The alert or question the window put up, if any.
QMessageBox* boxOver(QWidget* window, const char* name) {
    QApplication::processEvents();
    return window->findChild<QMessageBox*>(QString::fromLatin1(name));
}

}  // namespace

void renderChangePassword(QWidget* mainWindow, const QString& driveKey, const QString& suffix, bool chinese,
                          const std::function<void(QWidget*, const QString&)>& save) {
    const QString name = QStringLiteral("change-password-%1-");
    ChangePasswordWController* w = showChangePassword(mainWindow, std::nullopt);
    if (!w) {
        return;
    }
    QTest::qWait(100);
    save(w, name.arg(QStringLiteral("empty")) + suffix);

    w->nowPasswordField()->setFocus();
    type(w, QStringLiteral("screenshots"), QStringLiteral("qwerty12"), QString(), QString());
    save(w, name.arg(QStringLiteral("weak")) + suffix);

    const QString strong = QStringLiteral("Lantern-Orchid-42");
    type(w, QStringLiteral("screenshots"), strong, strong,
         chinese ? QStringLiteral("书房台灯和兰花") : QStringLiteral("the lamp and the orchid"));
    save(w, name.arg(QStringLiteral("strong")) + suffix);

    // The warning before anything is stored; its safe answer keeps the window as typed.
    w->changePasswordAction();
    if (QMessageBox* question = boxOver(w, "question")) {
        save(question, name.arg(QStringLiteral("warning")) + suffix);
        question->reject();
        QApplication::processEvents();
    }

    // A wrong old password: the field shakes and the alert says so.
    w->oldPasswordField()->setText(QStringLiteral("screenshot"));
    w->changePasswordAction();
    if (QMessageBox* alert = boxOver(w, "alert")) {
        save(alert, name.arg(QStringLiteral("wrong-old")) + suffix);
        alert->close();
    }
    w->close();
    QApplication::processEvents();

    if (ChangePasswordWController* drive = showChangePassword(mainWindow, driveKey)) {
        drive->nowPasswordField()->setFocus();
        type(drive, QString(), strong, QString(), QString());
        QTest::qWait(100);
        save(drive, name.arg(QStringLiteral("drive")) + suffix);
        drive->close();
        QApplication::processEvents();
    }
}

}  // namespace tessaro::screenshots
