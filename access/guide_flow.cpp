#include "access/guide_flow.h"

#include <algorithm>

namespace tessaro::access {

void GuideFlow::setPageIndex(qint64 index) { pageIndex_ = std::clamp<qint64>(index, 0, lastPageIndex()); }

const char* GuideFlow::forwardTitleKey() const {
    if (pageIndex_ == lastPageIndex()) {
        return tutorial_ ? "closeBtn.title" : "createVaultBtn.title";
    }
    return "Next.text";
}

GuideFlow::Forward GuideFlow::forwardPressed(const QString& password, const QString& confirmation) {
    if (pageIndex_ < lastPageIndex()) {
        ++pageIndex_;
        return Forward::NextPage;
    }
    if (tutorial_) {
        return Forward::Finish;
    }
    if (password.isEmpty()) {
        return Forward::RefuseEmpty;
    }
    // Exact, case-sensitive: both were typed by the user just now, nothing secret leaks.
    if (password != confirmation) {
        return Forward::RefuseMismatch;
    }
    return Forward::ChooseLocation;
}

}  // namespace tessaro::access
