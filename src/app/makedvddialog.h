#pragma once

#include "dvd/makedvd.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QSpinBox;

// File > Make DVD: where the disc goes, whether an ISO image is written too, the disc's
// capacity and the chapter spacing. OK stays off until the choices are usable.
class MakeDvdDialog : public QDialog {
    Q_OBJECT
public:
    // `folder` and `iso` are proposed; an empty `iso` leaves the image off.
    MakeDvdDialog(const QString& folder, const QString& iso, QWidget* parent = nullptr);

    DvdOptions options() const;
    QString folder() const;
    QString isoFile() const; // empty when no image is wanted

private:
    void chooseFolder();
    void chooseIso();
    void updateOk();

    QLineEdit* m_folder = nullptr;
    QCheckBox* m_isoWanted = nullptr;
    QLineEdit* m_iso = nullptr;
    QPushButton* m_isoButton = nullptr;
    QComboBox* m_capacity = nullptr;
    QSpinBox* m_chapters = nullptr;
    QPushButton* m_ok = nullptr;
};

// A folder chooser that also takes the name of a folder not made yet, as long as the
// folder it would go in exists.
QString ChooseNewOrExistingFolder(QWidget* parent, const QString& caption, const QString& start);
