#pragma once

#include <QTabBar>
#include <QTabWidget>

// Tab bar whose tabs all have one given width.
class FixedWidthTabBar : public QTabBar {
    Q_OBJECT
public:
    using QTabBar::QTabBar;
    void setTabWidth(int width);

protected:
    QSize tabSizeHint(int index) const override;
    QSize minimumTabSizeHint(int index) const override;

private:
    int m_tabWidth = 0;
};

// The editing panel's page control: each tab (width - 10) / 2 wide, kept on every resize.
class PageControl : public QTabWidget {
    Q_OBJECT
public:
    explicit PageControl(QWidget* parent = nullptr);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void PageControl1Resize();
    FixedWidthTabBar* m_tabBar;
};
