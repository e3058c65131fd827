#pragma once

#include <QWidget>

class QTextBrowser;

// The help window: the HTML help set of the program in a browser of its own.
class HelpViewer : public QWidget {
    Q_OBJECT
public:
    // `helpFolder` holds index.html and the topic pages (context<N>.html).
    explicit HelpViewer(const QString& helpFolder, QWidget* parent = nullptr);

    void showContents();
    void showContext(int context);

    QTextBrowser* browser() const { return m_browser; }
    QString currentPage() const;

private:
    void showPage(const QString& fileName);

    QString m_folder;
    QTextBrowser* m_browser;
};
