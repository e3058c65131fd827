// Files dropped on the main window: a picture or movie on an item's row or its box in
// the preview becomes that item's source, a picture on the background field or on the
// preview outside the boxes becomes the background, a project anywhere is opened.
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
#include <QTimer>
#include <QUrl>

namespace {

enum class DropKind {
    None,
    Project,
    Picture,
    Movie,
};

// The one local file a drop carries, or empty.
QString droppedFile(const QMimeData* data)
{
    if (!data || !data->hasUrls())
        return {};
    const QList<QUrl> urls = data->urls();
    if (urls.size() != 1 || !urls.front().isLocalFile())
        return {};
    return urls.front().toLocalFile();
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
    const QString path = droppedFile(drop->mimeData());
    if (path.isEmpty())
        return false; // text for the fields goes its usual way

    auto* widget = qobject_cast<QWidget*>(watched);
    int item = 0;
    if (widget && widget->property("tag").isValid())
        item = widget->property("tag").toInt();
    PreviewBox* box = previewBox();
    const bool preview = watched == box;
    if (preview)
        // The preview is composed at device pixels, and its geometry with it.
        item = itemAt(box->menuGeometry(), (drop->position() * box->devicePixelRatioF()).toPoint());
    const DropPlan plan = planDrop(path, item, watched == m_mainPage->backgroundField(), preview);

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
        if (plan.kind == DropKind::Project) {
            openProjectAsking(plan.path);
        } else if (plan.background) {
            setBackgroundSource(plan.path);
        } else if (setItemSource(plan.item, plan.path) && plan.kind == DropKind::Movie) {
            openThumbnailDialog(plan.item); // frame 0 is taken; the user may pick another
        }
    });
    return true;
}

void TForm1::dragEnterEvent(QDragEnterEvent* event)
{
    if (kindOf(droppedFile(event->mimeData())) == DropKind::Project)
        event->acceptProposedAction();
    else
        event->ignore();
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
