#pragma once

#include "discpanel.h"
#include "document/menudocument.h"
#include "render/drawmenu.h"

#include <QWidget>

#include <functional>
#include <string>
#include <vector>

class ColorSwatch;
class PictureFileDialog;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;

// The Main tab: background, colours, font, the three texts, their sizes, the switches and
// the disc-button panel. Each control writes its field of the document as it changes.
class MainPage : public QWidget {
    Q_OBJECT
public:
    // Asks for a colour starting from the first argument, titled by the third; false on cancel.
    using ColorChooser = std::function<bool(Color, Color&, const QString&)>;

    // `lastClipDir` is the window's remembered picture folder, read and updated here.
    MainPage(MenuDocument& doc, ColorChooser chooseColor, QString& lastClipDir,
             QWidget* parent = nullptr);

    // Fills the controls from the document without composing anything.
    void sync();
    // What follows every change of the document: the size values, the background's mark.
    void follow();
    // Fills the font list from the installed faces and picks the default face.
    void fillFontList();
    // The field a warning about `field` points at; the background field for the picture.
    QLineEdit* fieldFor(MenuField field) const;
    QLineEdit* backgroundField() const { return BGImage; }
    // Sets the background picture as if typed (decodes it and marks a failure).
    void setBackground(const QString& path);
    ButtonPreview buttonPreview() const;
    // The narrowest width that shows every caption whole.
    int captionWidth() const;

    void BGImageBtnClick();
    void BGColorBtnClick();
    void TextColorBtnClick();

signals:
    void buttonPreviewChanged();

private:
    void build();
    void connectHandlers();
    void markBackground();
    void run(const std::function<void()>& change);
    // The chooser from `current`; the choice goes to the swatch and, through `set`, to the
    // document. Nothing changes on cancel.
    void chooseColor(Color current, ColorSwatch* swatch, void (MenuDocument::*set)(Color),
                     const QString& title);

    void BGImageChange();
    void TextFontCBChange();
    void BoldTextClick();
    void ShadowClick();
    void TitleEditChange();
    void SubtitleEditChange();
    void FootnoteEditChange();
    void TitleSizeChange();
    void CaptionSizeChange();
    void ShowThumbsClick();
    void ShowNumbersClick();

    MenuDocument& m_doc;
    ColorChooser m_chooseColor;
    QString& m_lastClipDir;
    std::string m_markedBackground; // the failure the field shows
    PictureFileDialog* m_pictureDialog = nullptr;

    QLineEdit* BGImage = nullptr;
    QPushButton* BGImageBtn = nullptr;
    ColorSwatch* BGColorPanel = nullptr;
    QPushButton* BGColorBtn = nullptr;
    ColorSwatch* TextColorPanel = nullptr;
    QPushButton* TextColorBtn = nullptr;
    QComboBox* TextFontCB = nullptr;
    QCheckBox* BoldText = nullptr;
    QCheckBox* Shadow = nullptr;
    QLineEdit* TitleEdit = nullptr;
    QLineEdit* SubtitleEdit = nullptr;
    QLineEdit* FootnoteEdit = nullptr;
    QSlider* TitleSize = nullptr;
    QSlider* CaptionSize = nullptr;
    QLabel* TitleSizeValue = nullptr;
    QLabel* CaptionSizeValue = nullptr;
    QCheckBox* ShowThumbs = nullptr;
    QCheckBox* ShowNumbers = nullptr;
    DiscPanel* DiscPanel1 = nullptr;
};
