// The main window's sources: an item's picture or movie and the background picture as
// the panel shows them, and as drops and the thumbnail dialog set them.
#include "mainwindow.h"

#include "busycursor.h"
#include "imageio/imageunit.h"
#include "imageio/picturereadreason.h"
#include "messages.h"
#include "thumbs/mediaframe.h"

#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QSlider>

namespace {

// A small copy of the thumbnail for the Items tab, its shape kept.
QPixmap smallThumbnail(const Picture& picture, QSize box)
{
    const QImage image(picture.data(), picture.width(), picture.height(),
                       static_cast<qsizetype>(picture.stride()), QImage::Format_RGB888);
    return QPixmap::fromImage(image.scaled(box, Qt::KeepAspectRatio, Qt::SmoothTransformation));
}

} // namespace

void TForm1::followDocument()
{
    TitleSizeValue->setNum(TitleSize->value());
    CaptionSizeValue->setNum(CaptionSize->value());
    updateItemRows();
    markBackground();
}

void TForm1::updateItemRows()
{
    const int shown = m_doc.visibleItemCount();
    for (int k = 1; k <= kItemCount; ++k) {
        const auto i = static_cast<std::size_t>(k - 1);
        const ThumbnailSource& source = m_doc.item(k).source;
        // Rows the menu does not show are grey, and still take captions and sources.
        const bool inMenu = k <= shown;
        CN[i]->setEnabled(inMenu);
        ItemState[i]->setEnabled(inMenu);
        if (Edit[i]->property("inMenu").toBool() != inMenu ||
            !Edit[i]->property("inMenu").isValid()) {
            Edit[i]->setProperty("inMenu", inMenu);
            QPalette palette = Edit[i]->parentWidget()->palette();
            if (!inMenu)
                palette.setColor(QPalette::Text, palette.color(QPalette::Disabled, QPalette::Text));
            Edit[i]->setPalette(palette);
        }

        RowShown now{source.menuclip, source.ThumbnailImage.data(), source.ThumbnailImage.width(),
                     source.ThumbnailImage.height()};
        RowShown& was = m_rowShown[i];
        if (now.clip == was.clip && now.pixels == was.pixels && now.width == was.width &&
            now.height == was.height)
            continue;
        was = now;
        QLabel* state = ItemState[i];
        if (source.menuclip.empty()) {
            state->clear();
            state->setToolTip(QString());
            continue;
        }
        const QString path = QString::fromStdString(source.menuclip);
        if (source.hasThumbnail()) {
            state->setToolTip(path);
            state->setPixmap(smallThumbnail(source.ThumbnailImage, QSize(40, state->height())));
        } else {
            // No picture to show (missing or unreadable): the name says which file it is.
            const QFileInfo file(path);
            state->setToolTip(path + (file.isFile() ? QStringLiteral("\nNo picture could be taken")
                                                    : QStringLiteral("\nNot found")));
            state->setText(state->fontMetrics().elidedText(file.fileName(), Qt::ElideMiddle,
                                                           state->width() - 2));
        }
    }
}

void TForm1::markBackground()
{
    const std::string& failure = m_doc.bgimage.empty() ? std::string() : m_doc.BackgroundFailure;
    if (failure == m_markedBackground && BGImage->property("marked").isValid())
        return;
    m_markedBackground = failure;
    BGImage->setProperty("marked", !failure.empty());
    if (failure.empty()) {
        BGImage->setStyleSheet(QString());
        BGImage->setToolTip(QString());
    } else {
        BGImage->setStyleSheet(QStringLiteral("QLineEdit { border: 2px solid #d00000; }"));
        BGImage->setToolTip(QString::fromStdString(PictureFailureMessage(m_doc.bgimage, failure)));
    }
}

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
            taken = TakeMovieFrame(name, frame, thumbnail, error, &failure);
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
    BGImage->setText(path); // decodes it, and marks the field when that fails
    LastClipDir = QFileInfo(path).absolutePath() + QLatin1Char('/');
    if (m_doc.BackgroundFailure.empty())
        return true;
    ShowMessage(
        MessageKind::Error,
        QString::fromStdString(PictureFailureMessage(m_doc.bgimage, m_doc.BackgroundFailure)),
        this);
    return false;
}
