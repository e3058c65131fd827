#pragma once

#include "imageio/picturetype.h"

#include <QFileDialog>

// The "Save Image File" dialog. The name and the type stay in step: choosing a type
// changes the suffix of the typed name, and a typed picture extension chooses the type,
// so that a file's content always matches its name.
class ImageExportDialog : public QFileDialog {
    Q_OBJECT
public:
    explicit ImageExportDialog(QWidget* parent = nullptr);

    // Opens in `folder` (when not empty) with `baseName` and the suffix of `type`.
    void propose(const QString& folder, const QString& baseName, PictureType type);

    PictureType selectedType() const;
    void selectType(PictureType type);

    // The name box as typed.
    QString typedName() const;
    void setTypedName(const QString& name);

    // After the dialog was accepted: the file to write and the writer for it.
    QString chosenPath() const;
    PictureType chosenType() const;

private:
    void typeChanged(const QString& filter);
};

// The writer for a name: its picture extension if it has one, else `selected`.
PictureType ExportTypeFor(const QString& fileName, PictureType selected);
// The name as it will be written: one without a picture extension gets the suffix of `type`.
QString ExportFileName(const QString& fileName, PictureType type);
