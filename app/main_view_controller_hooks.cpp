// Where the window hands its item operations over to the vault library. Until the library
// runs them, each says so in the log and leaves the window as a finished operation would.
#include "app/main_view_controller.h"

#include "app/progress_panel.h"
#include "app/window_log_lines.h"
#include "core/log.h"

namespace tessaro {

namespace {

void notConnected(const char* operation) {
    logLine(QString::fromUtf8(windowlog::kNotConnectedYet).arg(QLatin1String(operation)));
}

}  // namespace

void MainViewController::AddFileActionForPaths(const QStringList& paths, std::function<void(bool failed)> completion) {
    Q_UNUSED(paths)
    Q_UNUSED(completion)
    notConnected("AddFileActionForPaths");
}

void MainViewController::visableChange(qsizetype shownRow, std::function<void()> completion) {
    notConnected("visableChange");
    if (shownRow >= 0 && shownRow < selected_ItemList.size()) {
        setRowWalkState(selected_ItemList[shownRow], WalkState::None);
    }
    if (completion) {
        completion();
    }
}

void MainViewController::hideAllShown() {
    notConnected("hideAllShown");
    progressView_->removeAnimation();
}

void MainViewController::unhideAllShown() {
    notConnected("unhideAllShown");
    progressView_->removeAnimation();
}

void MainViewController::hiddenAllItemFileModel(qint64 groupIndex, qint64 itemIndex) {
    Q_UNUSED(groupIndex)
    Q_UNUSED(itemIndex)
    notConnected("hiddenAllItemFileModel");
}

void MainViewController::encryptCancelBtnAction() { notConnected("encryptCancelBtnAction"); }

}  // namespace tessaro
