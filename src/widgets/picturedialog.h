#pragma once

#include <QFileDialog>

class QLabel;

// An open-file chooser with a preview pane of the selected picture and its size.
class PictureFileDialog : public QFileDialog {
    Q_OBJECT
public:
    explicit PictureFileDialog(QWidget* parent = nullptr);

    // Shows `path` in the preview pane (nothing for a file that is no readable picture).
    void showPreview(const QString& path);
    QString previewCaption() const;

private:
    QLabel* m_caption;
    QLabel* m_image;
};
