#include "helpviewer.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QPushButton>
#include <QShortcut>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

HelpViewer::HelpViewer(const QString& helpFolder, QWidget* parent)
    : QWidget(parent, Qt::Window), m_folder(helpFolder), m_browser(new QTextBrowser)
{
    setObjectName(QStringLiteral("HelpViewer"));
    setWindowTitle(QStringLiteral("Tavrel Lite Help"));
    resize(640, 560);

    auto* contents = new QPushButton(QStringLiteral("&Contents"));
    auto* back = new QPushButton(QStringLiteral("&Back"));
    auto* forward = new QPushButton(QStringLiteral("&Forward"));
    back->setEnabled(false);
    forward->setEnabled(false);
    for (QPushButton* b : {contents, back, forward})
        b->setFocusPolicy(Qt::TabFocus);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(contents);
    buttons->addWidget(back);
    buttons->addWidget(forward);
    buttons->addStretch(1);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addLayout(buttons);
    layout->addWidget(m_browser, 1);

    m_browser->setObjectName(QStringLiteral("HelpBrowser"));
    m_browser->setOpenExternalLinks(true);
    m_browser->setSearchPaths({m_folder});

    // Escape closes the help as it closes every dialog.
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escape->setContext(Qt::WindowShortcut);
    connect(escape, &QShortcut::activated, this, &QWidget::close);

    connect(contents, &QPushButton::clicked, this, &HelpViewer::showContents);
    connect(back, &QPushButton::clicked, m_browser, &QTextBrowser::backward);
    connect(forward, &QPushButton::clicked, m_browser, &QTextBrowser::forward);
    connect(m_browser, &QTextBrowser::backwardAvailable, back, &QPushButton::setEnabled);
    connect(m_browser, &QTextBrowser::forwardAvailable, forward, &QPushButton::setEnabled);
}

void HelpViewer::showContents()
{
    showPage(QStringLiteral("index.html"));
}

void HelpViewer::showContext(int context)
{
    const QString page = QStringLiteral("context%1.html").arg(context);
    showPage(QFileInfo::exists(m_folder + QLatin1Char('/') + page) ? page
                                                                   : QStringLiteral("index.html"));
}

QString HelpViewer::currentPage() const
{
    return QFileInfo(m_browser->source().toLocalFile()).fileName();
}

void HelpViewer::showPage(const QString& fileName)
{
    const QString path = m_folder + QLatin1Char('/') + fileName;
    if (QFileInfo::exists(path)) {
        m_browser->setSource(QUrl::fromLocalFile(path));
    } else {
        m_browser->setHtml(
            QStringLiteral("<h2>Help not found</h2><p>The help page %1 is missing.</p>")
                .arg(path.toHtmlEscaped()));
    }
    if (isMinimized())
        showNormal();
    if (!isVisible() && parentWidget()) {
        QRect frame(QPoint(), size());
        frame.moveCenter(parentWidget()->frameGeometry().center());
        move(frame.topLeft());
    }
    show();
    raise();
    activateWindow();
}
