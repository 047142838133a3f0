#pragma once

#include <QListView>
#include <QStringList>
#include <QUrl>

namespace tessaro {

// A list that says what to do when it is empty and, when asked to, takes files and folders
// dropped on it from other applications.
class ItemListView : public QListView {
    Q_OBJECT
public:
    using QListView::QListView;

    void setPlaceholderText(const QString& text);
    QString placeholderText() const { return placeholder_; }
    // A picture above the text of the empty list (none when empty).
    void setPlaceholderPicture(const QString& name);
    // Drops of local file names from other applications become filesDropped.
    void setAcceptsFileDrops(bool accepts);

    // The local paths among dropped URLs, in order, without trailing separators; other
    // URLs (web addresses, remote shares) are left out.
    static QStringList localPathsFromUrls(const QList<QUrl>& urls);

signals:
    void filesDropped(const QStringList& paths);

protected:
    void paintEvent(QPaintEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    // The paths a drag would add; none for drags that start in this application.
    QStringList droppablePaths(const QDropEvent* event) const;
    void setDropHighlight(bool on);

    QString placeholder_;
    QString picture_;
    bool acceptsFileDrops_ = false;
    bool dropHighlight_ = false;
};

}  // namespace tessaro
