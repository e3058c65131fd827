#include "aboutform.h"

#include "widgets/fixedframe.h"

#include <QDesktopServices>
#include <QFont>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QUrl>

namespace {

// A label that opens the web address when clicked.
class LinkLabel : public QLabel {
public:
    using QLabel::QLabel;

protected:
    void mouseReleaseEvent(QMouseEvent* event) override
    {
        QLabel::mouseReleaseEvent(event);
        QDesktopServices::openUrl(QUrl(TAboutForm::webAddress())); // failure reports nothing
    }
};

QLabel* placeLabel(QWidget* parent, const char* name, const QString& text, int left, int top)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    label->move(left, top);
    label->adjustSize();
    return label;
}

} // namespace

QString TAboutForm::webAddress()
{
    return QStringLiteral("http://www.orvane.example/");
}

TAboutForm::TAboutForm(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("AboutForm"));
    setWindowTitle(QStringLiteral("About"));
    UseFixedDialogFrame(this);
    setFixedSize(280, 221);

    auto* panel = new QFrame(this);
    panel->setObjectName(QStringLiteral("Panel1"));
    panel->setFrameShape(QFrame::Panel);
    panel->setFrameShadow(QFrame::Sunken);
    panel->setGeometry(13, 13, 254, 40);
    auto* product = new QLabel(QStringLiteral("Tavrel Lite"), panel);
    product->setObjectName(QStringLiteral("ProductLabel"));
    QFont productFont(QStringLiteral("Comic Sans MS"));
    productFont.setStyleHint(QFont::Cursive); // a hand-written look where the face is missing
    productFont.setPixelSize(27);
    productFont.setBold(true);
    product->setFont(productFont);
    product->setStyleSheet(QStringLiteral("color: #800080;"));
    product->setAlignment(Qt::AlignCenter);
    product->setGeometry(panel->contentsRect());

    QLabel* version = placeLabel(this, "Label1", QStringLiteral("Version 2.00"), 105, 65);
    QFont bold = version->font();
    bold.setBold(true);
    version->setFont(bold);
    version->adjustSize();
    placeLabel(this, "Label2", QStringLiteral("Copyright (c) Orvane Software"), 54, 85);
    placeLabel(this, "Label3", QStringLiteral("All rights reserved"), 99, 98);

    auto* link = new LinkLabel(QStringLiteral("www.orvane.example"), this);
    link->setObjectName(QStringLiteral("Label4"));
    QFont linkFont = link->font();
    linkFont.setUnderline(true);
    link->setFont(linkFont);
    link->setStyleSheet(QStringLiteral("color: blue;"));
    link->setCursor(Qt::PointingHandCursor);
    link->setToolTip(QStringLiteral("Click here to access web site"));
    link->move(80, 117);
    link->adjustSize();

    auto* ok = new QPushButton(QStringLiteral("Ok"), this);
    ok->setObjectName(QStringLiteral("Button1"));
    ok->setGeometry(109, 189, 61, 20);
    ok->setDefault(true);
    ok->setAutoDefault(true);
    // Esc rejects the dialog by itself; Enter presses the default button.
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}
