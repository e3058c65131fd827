#include "pagecontrol.h"

#include <QResizeEvent>

#include <algorithm>

void FixedWidthTabBar::setTabWidth(int width)
{
    width = std::max(width, 0);
    if (width == m_tabWidth)
        return;
    m_tabWidth = width;
    updateGeometry();
    // Changing a tab's text is the public way to make QTabBar lay its tabs out again.
    for (int i = 0; i < count(); ++i)
        setTabText(i, tabText(i));
}

QSize FixedWidthTabBar::tabSizeHint(int index) const
{
    QSize size = QTabBar::tabSizeHint(index);
    if (m_tabWidth > 0)
        size.setWidth(m_tabWidth);
    return size;
}

QSize FixedWidthTabBar::minimumTabSizeHint(int index) const
{
    return tabSizeHint(index);
}

PageControl::PageControl(QWidget* parent) : QTabWidget(parent), m_tabBar(new FixedWidthTabBar(this))
{
    m_tabBar->setExpanding(false);
    m_tabBar->setElideMode(Qt::ElideNone);
    m_tabBar->setUsesScrollButtons(false);
    setTabBar(m_tabBar);
}

void PageControl::resizeEvent(QResizeEvent* event)
{
    PageControl1Resize();
    QTabWidget::resizeEvent(event);
}

void PageControl::PageControl1Resize()
{
    m_tabBar->setTabWidth((width() - 10) / 2);
}
