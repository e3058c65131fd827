// Files dropped on the main window: a picture or movie on an item's row or its box in
// the preview becomes that item's source (several fill the items from there on), a picture on the
// background field or on the preview outside the boxes becomes the background, a project anywhere
// is opened.
#include "mainwindow.h"

#include "imageio/imageunit.h"
#include "mainpage.h"
#include "previewbox.h"

#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QLineEdit>
#include <QMimeData>
#include <QStatusBar>
#include <QTimer>
#include <QUrl>

namespace {

enum class DropKind {
    None,
    Project,
    Picture,
    Movie,
};

// The local files a drop carries; empty when it carries anything else.
QStringList droppedFiles(const QMimeData* data)
{
    if (!data || !data->hasUrls())
        return {};
    QStringList files;
    for (const QUrl& url : data->urls()) {
        if (!url.isLocalFile())
            return {};
        files.push_back(url.toLocalFile());
    }
    return files;
}

// The one local file a drop carries, or empty.
QString droppedFile(const QMimeData* data)
{
    const QStringList files = droppedFiles(data);
    return files.size() == 1 ? files.front() : QString();
}

DropKind kindOf(const QString& path)
{
    if (path.isEmpty() || QFileInfo(path).isDir())
        return DropKind::None;
    const std::string ext = LowerCaseExtension(path.toStdString());
    if (ext == "tavrel")
        return DropKind::Project;
    if (ext == "bmp" || ext == "gif" || ext == "jpg" || ext == "jpeg" || ext == "png")
        return DropKind::Picture;
    return DropKind::Movie; // FFmpeg decides; a file it cannot open gets a clear box
}

// What a drop at one place does.
struct DropPlan {
    DropKind kind = DropKind::None;
    int item = 0;            // the item whose source it becomes
    bool background = false; // or the background
    QString path;
    QStringList following; // several files: these go to the items after `item`
    bool any() const { return item != 0 || background || kind == DropKind::Project; }
};

} // namespace

void TForm1::acceptDropsOn(QWidget* widget)
{
    widget->setAcceptDrops(true);
    widget->installEventFilter(this);
}

namespace {

DropPlan planDrop(const QString& path, int item, bool backgroundField, bool preview)
{
    DropPlan plan;
    plan.kind = kindOf(path);
    plan.path = path;
    switch (plan.kind) {
    case DropKind::None:
    case DropKind::Project:
        break;
    case DropKind::Picture:
        if (item != 0)
            plan.item = item;
        else
            plan.background = backgroundField || preview;
        break;
    case DropKind::Movie:
        plan.item = item;
        break;
    }
    return plan;
}

// Several pictures and movies dropped on an item fill it and the items after it.
DropPlan planSeveral(const QStringList& paths, int item)
{
    DropPlan plan;
    for (const QString& path : paths) {
        const DropKind kind = kindOf(path);
        if (kind != DropKind::Picture && kind != DropKind::Movie)
            return {};
    }
    plan.kind = kindOf(paths.front());
    plan.item = item;
    plan.path = paths.front();
    plan.following = paths.mid(1);
    return plan;
}

// The item whose button area in the preview holds `at`, or 0.
int itemAt(const MenuGeometry& geometry, QPoint at)
{
    for (const DrawnItem& drawn : geometry.items) {
        const Rect& r = drawn.button;
        if (at.x() >= r.left && at.x() < r.right && at.y() >= r.top && at.y() < r.bottom)
            return drawn.item;
    }
    return 0;
}

} // namespace

bool TForm1::handleDropEvent(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop)
        return false;
    auto* drop = static_cast<QDropEvent*>(event);
    const QStringList paths = droppedFiles(drop->mimeData());
    if (paths.isEmpty())
        return false; // text for the fields goes its usual way
    const QString& path = paths.front();

    auto* widget = qobject_cast<QWidget*>(watched);
    int item = 0;
    if (widget && widget->property("tag").isValid())
        item = widget->property("tag").toInt();
    PreviewBox* box = previewBox();
    const bool preview = watched == box;
    if (preview)
        // The preview is composed at device pixels, and its geometry with it.
        item = itemAt(box->menuGeometry(), (drop->position() * box->devicePixelRatioF()).toPoint());
    const DropPlan plan =
        paths.size() > 1 ? planSeveral(paths, item)
                         : planDrop(path, item, watched == m_mainPage->backgroundField(), preview);

    if (type == QEvent::DragEnter && preview && kindOf(path) != DropKind::None) {
        // Refused here, the preview would hear nothing more of this drag; where over it
        // the file may go is told move by move.
        drop->acceptProposedAction();
        if (!plan.any())
            drop->setDropAction(Qt::IgnoreAction);
        return true;
    }
    if (!plan.any()) {
        event->ignore();
        return true;
    }
    if (type != QEvent::Drop) {
        drop->acceptProposedAction();
        return true;
    }
    drop->acceptProposedAction();
    // The drag's source waits for the drop to end: boxes and dialogs come afterwards.
    QTimer::singleShot(0, this, [this, plan] {
        if (!plan.following.isEmpty()) {
            fillItemsFrom(plan.item, QStringList{plan.path} + plan.following);
        } else if (plan.kind == DropKind::Project) {
            openProjectAsking(plan.path);
        } else if (plan.background) {
            setBackgroundSource(plan.path);
        } else if (setItemSource(plan.item, plan.path) && plan.kind == DropKind::Movie) {
            openThumbnailDialog(plan.item); // frame 0 is taken; the user may pick another
        }
    });
    return true;
}

void TForm1::fillItemsFrom(int item, const QStringList& paths)
{
    int next = item;
    for (const QString& path : paths) {
        if (next > kItemCount)
            break;
        setItemSource(next++, path); // a file that cannot be read says so and is skipped
    }
    const qsizetype left = paths.size() - (next - item);
    if (left > 0)
        statusBar()->showMessage(QStringLiteral("%1 of the files dropped did not fit: the menu "
                                                "has %2 items.")
                                     .arg(left)
                                     .arg(kItemCount));
}

void TForm1::dragEnterEvent(QDragEnterEvent* event)
{
    dragMoveEvent(event);
}

void TForm1::dragMoveEvent(QDragMoveEvent* event)
{
    if (kindOf(droppedFile(event->mimeData())) == DropKind::Project)
        event->acceptProposedAction();
    else
        event->ignore();
}

void TForm1::dropEvent(QDropEvent* event)
{
    const QString path = droppedFile(event->mimeData());
    if (kindOf(path) != DropKind::Project) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    QTimer::singleShot(0, this, [this, path] { openProjectAsking(path); });
}
