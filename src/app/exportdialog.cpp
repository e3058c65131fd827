#include "exportdialog.h"

#include <QLineEdit>

#include <array>

namespace {

constexpr std::array kTypes = {PictureType::Bmp, PictureType::Gif, PictureType::Jpeg,
                               PictureType::Png};

const QStringList& filters()
{
    static const QStringList list = {
        QStringLiteral("BMP image (*.bmp)"), QStringLiteral("GIF image (*.gif)"),
        QStringLiteral("JPG image (*.jpg *.jpeg)"), QStringLiteral("PNG image (*.png)")};
    return list;
}

QString suffixOf(PictureType type)
{
    return QLatin1String(PictureTypeSuffix(type));
}

PictureType typeOfName(const QString& fileName)
{
    return PictureTypeOfFile(fileName.toStdString());
}

// The name without its picture extension ("menu.png" -> "menu"); other names as they are.
QString stem(const QString& fileName)
{
    if (typeOfName(fileName) == PictureType::None)
        return fileName;
    return fileName.left(fileName.lastIndexOf(QLatin1Char('.')));
}

} // namespace

PictureType ExportTypeFor(const QString& fileName, PictureType selected)
{
    const PictureType typed = typeOfName(fileName);
    return typed != PictureType::None ? typed : selected;
}

QString ExportFileName(const QString& fileName, PictureType type)
{
    if (typeOfName(fileName) != PictureType::None || type == PictureType::None)
        return fileName;
    return fileName + QLatin1Char('.') + suffixOf(type);
}

ImageExportDialog::ImageExportDialog(QWidget* parent)
    : QFileDialog(parent, QStringLiteral("Save Image File"))
{
    setObjectName(QStringLiteral("ImageSaveDialog"));
    // Qt's own dialog reports the change of type and lets the name follow it.
    setOption(QFileDialog::DontUseNativeDialog, true);
    setAcceptMode(QFileDialog::AcceptSave);
    setFileMode(QFileDialog::AnyFile);
    setNameFilters(filters());
    setDefaultSuffix(QStringLiteral("bmp"));
    connect(this, &QFileDialog::filterSelected, this, &ImageExportDialog::typeChanged);
}

void ImageExportDialog::propose(const QString& folder, const QString& baseName, PictureType type)
{
    if (!folder.isEmpty())
        setDirectory(folder);
    selectType(type);
    setTypedName(baseName.isEmpty() ? QString()
                                    : baseName + QLatin1Char('.') + suffixOf(selectedType()));
}

PictureType ImageExportDialog::selectedType() const
{
    const auto index = filters().indexOf(selectedNameFilter());
    return index >= 0 ? kTypes[static_cast<std::size_t>(index)] : PictureType::Bmp;
}

void ImageExportDialog::selectType(PictureType type)
{
    for (std::size_t i = 0; i < kTypes.size(); ++i) {
        if (kTypes[i] == type) {
            selectNameFilter(filters()[static_cast<qsizetype>(i)]);
            setDefaultSuffix(suffixOf(type));
        }
    }
}

QString ImageExportDialog::typedName() const
{
    if (const auto* edit = findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
        return edit->text();
    return {};
}

void ImageExportDialog::setTypedName(const QString& name)
{
    if (auto* edit = findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
        edit->setText(name);
    else
        selectFile(name);
}

void ImageExportDialog::typeChanged(const QString& filter)
{
    const auto index = filters().indexOf(filter);
    if (index < 0)
        return;
    const PictureType type = kTypes[static_cast<std::size_t>(index)];
    setDefaultSuffix(suffixOf(type));
    const QString name = typedName();
    if (!name.isEmpty() && typeOfName(name) != type)
        setTypedName(stem(name) + QLatin1Char('.') + suffixOf(type));
}

QString ImageExportDialog::chosenPath() const
{
    const QStringList files = selectedFiles();
    if (files.isEmpty())
        return {};
    return ExportFileName(files.front(), selectedType());
}

PictureType ImageExportDialog::chosenType() const
{
    return ExportTypeFor(chosenPath(), selectedType());
}
