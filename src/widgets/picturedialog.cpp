#include "picturedialog.h"

#include <QFileInfo>
#include <QFrame>
#include <QGridLayout>
#include <QImageReader>
#include <QLabel>
#include <QPixmap>
#include <QVBoxLayout>

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
    const QSize size = reader.size();
    if (!size.isValid() || size.isEmpty())
        return;
    // Decoding at the pane's size keeps huge pictures cheap where the format allows it.
    if (size.width() > kPreviewSide || size.height() > kPreviewSide)
        reader.setScaledSize(
            size.scaled(kPreviewSide, kPreviewSide, Qt::KeepAspectRatio).expandedTo(QSize(1, 1)));
    const QImage image = reader.read();
    if (image.isNull())
        return;
    m_image->setPixmap(QPixmap::fromImage(image));
    m_caption->setText(QStringLiteral(" (%1x%2)").arg(size.width()).arg(size.height()));
}

QString PictureFileDialog::previewCaption() const
{
    return m_caption->text();
}
