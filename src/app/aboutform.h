#pragma once

#include <QDialog>

// The About box: product, version, maker and a link to the maker's web site.
class TAboutForm : public QDialog {
    Q_OBJECT
public:
    explicit TAboutForm(QWidget* parent = nullptr);

    static QString webAddress();
};
