#include "picturedialog.h"

#include "base/picture.h"
#include "imageio/imageunit.h"

#include <QFileInfo>
#include <QFrame>
#include <QGridLayout>
#include <QImageReader>
#include <QLabel>
#include <QPixmap>
#include <QVBoxLayout>

#include <string>

namespace {

constexpr int kPreviewSide = 180;

} // namespace

PictureFileDialog::PictureFileDialog(QWidget* parent)
    : QFileDialog(parent), m_caption(new QLabel(QStringLiteral("Picture:"))), m_image(new QLabel)
{
    // The preview pane needs Qt's own dialog.
    setOption(QFileDialog::DontUseNativeDialog, true);
    setFileMode(QFileDialog::ExistingFile);
    setAcceptMode(QFileDialog::AcceptOpen);

    auto* pane = new QWidget;
    auto* paneLayout = new QVBoxLayout(pane);
    paneLayout->setContentsMargins(6, 0, 0, 0);
    m_image->setFrameShape(QFrame::StyledPanel);
    m_image->setFrameShadow(QFrame::Sunken);
    m_image->setAlignment(Qt::AlignCenter);
    m_image->setFixedSize(kPreviewSide + 4, kPreviewSide + 4);
    m_caption->setWordWrap(true);
    m_caption->setMaximumWidth(kPreviewSide + 4);
    paneLayout->addWidget(m_caption);
    paneLayout->addWidget(m_image);
    paneLayout->addStretch(1);
    if (auto* grid = qobject_cast<QGridLayout*>(layout()))
        grid->addWidget(pane, 0, grid->columnCount(), grid->rowCount(), 1);

    connect(this, &QFileDialog::currentChanged, this, &PictureFileDialog::showPreview);
    resize(760, 440);
}

void PictureFileDialog::showPreview(const QString& path)
{
    m_image->clear();
    m_caption->setText(QStringLiteral("Picture:"));
    if (path.isEmpty() || !QFileInfo(path).isFile())
        return;
    QImageReader reader(path);
    reader.setAutoTransform(true);
    QSize size = reader.size();
    QImage image;
    if (size.isValid() && !size.isEmpty()) {
        // Decoding at the pane's size keeps huge pictures cheap where the format allows it.
        if (size.width() > kPreviewSide || size.height() > kPreviewSide)
            reader.setScaledSize(size.scaled(kPreviewSide, kPreviewSide, Qt::KeepAspectRatio)
                                     .expandedTo(QSize(1, 1)));
        image = reader.read();
    }
    if (image.isNull()) {
        // Our own reader's words: the same the program gives once the file is chosen.
        Picture picture;
        std::string reason;
        if (!LoadThumbnailPicture(path.toStdString(), picture, reason)) {
            m_caption->setText(
                QStringLiteral("No preview: %1.").arg(QString::fromStdString(reason)));
            return;
        }
        size = QSize(picture.width(), picture.height());
        image = QImage(picture.data(), picture.width(), picture.height(),
                       static_cast<qsizetype>(picture.stride()), QImage::Format_RGB888)
                    .copy(); // the picture's memory goes with it
        if (size.width() > kPreviewSide || size.height() > kPreviewSide)
            image = image.scaled(kPreviewSide, kPreviewSide, Qt::KeepAspectRatio,
                                 Qt::SmoothTransformation);
    }
    m_image->setPixmap(QPixmap::fromImage(image));
    m_caption->setText(QStringLiteral(" (%1x%2)").arg(size.width()).arg(size.height()));
}

QString PictureFileDialog::previewCaption() const
{
    return m_caption->text();
}
