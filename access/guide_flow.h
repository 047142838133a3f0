#pragma once

#include <QString>

// The first-run guide's paging and its forward button, without the pages.
namespace tessaro::access {

class GuideFlow {
public:
    // `tutorial`: the welcome tutorial pages through the first four pages only.
    explicit GuideFlow(bool tutorial) : tutorial_(tutorial) {}

    bool tutorial() const { return tutorial_; }
    int pageCount() const { return tutorial_ ? 4 : 5; }
    qint64 lastPageIndex() const { return pageCount() - 1; }
    qint64 pageIndex() const { return pageIndex_; }
    // From the pager: any page up to the last.
    void setPageIndex(qint64 index);

    // The forward button's title key on the page in view.
    const char* forwardTitleKey() const;

    enum class Forward {
        NextPage,          // moved one page on
        Finish,            // tutorial: the last page's button closes it
        RefuseEmpty,       // no password typed
        RefuseMismatch,    // the confirmation differs: it is emptied
        ChooseLocation,    // the passwords agree: on to the folder choice
    };
    Forward forwardPressed(const QString& password, const QString& confirmation);

private:
    bool tutorial_;
    qint64 pageIndex_ = 0;
};

}  // namespace tessaro::access
