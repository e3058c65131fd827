#pragma once

#include "dvd/makedvd.h"

#include <QDialog>

class QCheckBox;
class QFormLayout;
class QComboBox;
class QLineEdit;
class QPushButton;
class QSpinBox;

// File > Make DVD: where the disc goes, whether an ISO image is written too, PAL or NTSC,
// the disc's capacity and the chapter spacing. OK stays off until the choices are usable;
// when pressed, what would be replaced is checked: a folder that holds anything but a disc
// of ours is refused, another menu's disc or an image that is not this menu's is replaced
// only when the user says so.
class MakeDvdDialog : public QDialog {
    Q_OBJECT
public:
    // `folder` and `iso` are proposed; an empty `iso` leaves the image off. `label` is the
    // volume label this menu's image gets; `pal` the standard first chosen.
    MakeDvdDialog(const QString& folder, const QString& iso, QWidget* parent = nullptr,
                  const QString& label = QString(), bool pal = false);
    // The disc folder and image that are this menu's own: found there, they are replaced
    // without a question.
    void setOwnDisc(const QString& folder, const QString& iso)
    {
        m_ownFolder = folder;
        m_ownIso = iso;
    }

    DvdOptions options() const;
    QString folder() const;
    QString isoFile() const; // empty when no image is wanted
    bool pal() const;
    int videoMode() const { return pal() ? 3 : 2; } // the DVD size of the chosen standard

    void accept() override;

private:
    void chooseFolder();
    void chooseIso();
    void updateOk();
    void buildDiscRows(QFormLayout* form);
    void isoToggled(bool wanted);
    bool folderMayBeUsed();
    bool isoMayBeReplaced();

    QLineEdit* m_folder = nullptr;
    QCheckBox* m_isoWanted = nullptr;
    QLineEdit* m_iso = nullptr;
    QPushButton* m_isoButton = nullptr;
    QComboBox* m_standard = nullptr;
    QComboBox* m_capacity = nullptr;
    QSpinBox* m_chapters = nullptr;
    QPushButton* m_ok = nullptr;
    QString m_ownFolder;
    QString m_ownIso;
    QString m_label;
};

// Whether `path` is an ISO 9660 image whose volume label is `label` (as a disc image of
// ours gets it from the menu's title).
bool IsDiscImageLabelled(const QString& path, const QString& label);

// A folder chooser that also takes the name of a folder not made yet, as long as the
// folder it would go in exists.
QString ChooseNewOrExistingFolder(QWidget* parent, const QString& caption, const QString& start);
