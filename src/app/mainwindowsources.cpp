// The main window's sources: an item's picture or movie and the background picture as
// drops set them.
#include "mainwindow.h"

#include "imageio/imageunit.h"
#include "imageio/picturereadreason.h"
#include "mainpage.h"
#include "mediamodule/mediamodule.h"
#include "widgets/busycursor.h"
#include "widgets/messages.h"

#include <QFileInfo>

bool TForm1::setItemSource(int item, const QString& path)
{
    if (item < 1 || item > kItemCount)
        return false;
    const std::string name = path.toStdString();
    const std::string ext = LowerCaseExtension(name);
    const bool picture =
        ext == "bmp" || ext == "gif" || ext == "jpg" || ext == "jpeg" || ext == "png";
    Picture thumbnail;
    std::int32_t frame = 0;
    std::string failure;
    bool taken = false;
    {
        const BusyCursor busy;
        if (picture) {
            std::string reason;
            taken = LoadPictureFile(name, thumbnail, reason);
            if (!taken)
                failure = PictureFailureMessage(name, reason);
        } else {
            std::string error;
            taken = Media().takeMovieFrame(name, frame, thumbnail, error, &failure);
        }
    }
    if (!taken) {
        ShowMessage(MessageKind::Error, QString::fromStdString(failure), this);
        return false;
    }
    ThumbnailSource& source = m_doc.item(item).source;
    source.menuclip = name;
    source.menuframe = picture ? -1 : 0;
    source.ThumbnailImage = std::move(thumbnail);
    LastClipDir = QFileInfo(path).absolutePath() + QLatin1Char('/');
    guarded([&] { m_doc.refresh(); });
    return true;
}

bool TForm1::setBackgroundSource(const QString& path)
{
    m_mainPage->setBackground(path); // decodes it, and marks the field when that fails
    LastClipDir = QFileInfo(path).absolutePath() + QLatin1Char('/');
    if (m_doc.BackgroundFailure.empty())
        return true;
    ShowMessage(
        MessageKind::Error,
        QString::fromStdString(PictureFailureMessage(m_doc.bgimage, m_doc.BackgroundFailure)),
        this);
    return false;
}
