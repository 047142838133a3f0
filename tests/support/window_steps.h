#pragma once

// Steps the widget tests share: logging in as a user does, finding a sidebar row, making
// item records.
#include "app/app_delegate.h"
#include "app/custom_window.h"
#include "app/login_viewcontroller.h"
#include "app/main_view_controller.h"
#include "app/sidebar_model.h"
#include "support/test_environment.h"

#include <QApplication>
#include <QLineEdit>
#include <QTest>

#include <functional>

namespace tessaro::testing {

// Types the password into the login screen and presses Return; the main window controller
// it opened, or none.
inline MainViewController* logIn(AppDelegate& delegate,
                                 const QString& password = QString::fromLatin1(TestEnvironment::kPassword)) {
    loginViewcontroller* login = delegate.loginView();
    if (!login) {
        return nullptr;
    }
    login->passwordTextField()->clear();
    QTest::keyClicks(login->passwordTextField(), password);
    QTest::keyClick(login->passwordTextField(), Qt::Key_Return);
    QApplication::processEvents();
    return delegate.mainView();
}

// A vault of its own with a main window controller (or a test's subclass of it) open on it,
// without the launch and login.
template <class Controller = MainViewController>
struct WindowOn {
    TestEnvironment env;
    CustomWindow window;
    Controller* main = nullptr;
    WindowOn() {
        main = new Controller(window, std::nullopt);
        window.setContentController(main);
        window.setContentSize(QSize(1000, 600));
        window.show();
    }
};

// The application launched on a vault of its own and logged in; `prepare` runs on the fresh
// environment first, for settings or catalogue files the launch is to find.
struct LoggedInApp {
    TestEnvironment env;
    AppDelegate delegate;
    MainViewController* main = nullptr;
    explicit LoggedInApp(const std::function<void(TestEnvironment&)>& prepare = {}) {
        if (prepare) {
            prepare(env);
        }
        delegate.applicationDidFinishLaunching();
        main = logIn(delegate);
    }
    // Logged in, and the main window is on screen.
    bool shown() { return main && QTest::qWaitForWindowExposed(delegate.mainWindow()); }
};

// The sidebar row of the list `listKey`'s row `index`, or -1.
inline qsizetype sidebarRowOf(MainViewController& main, const QString& listKey, qint64 index) {
    SidebarModel* model = main.sidebarModel();
    for (qsizetype i = 0; i < model->count(); ++i) {
        if (model->entry(i).groupName == listKey && model->entry(i).groupRow == index) {
            return i;
        }
    }
    return -1;
}

// A record of a 1000-byte item in the user's home folder.
inline FileModelPtr makeItem(const QString& name, bool hidden, qint64 addDate) {
    auto item = std::make_shared<FileModel>();
    item->name = name;
    item->path = QStringLiteral("/home/user/") + name;
    item->encryptedPath = QStringLiteral("11-22/%1").arg(addDate);
    item->isEncrtypt = hidden;
    item->fileSize = 1000;
    item->addDate = addDate;
    return item;
}

}  // namespace tessaro::testing
