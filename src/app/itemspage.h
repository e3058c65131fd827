#pragma once

#include "document/menudocument.h"

#include <QWidget>

#include <array>
#include <functional>
#include <string>
#include <vector>

class NumberEdit;
class QButtonGroup;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

// The Items tab: the first number and the count, and one row per item with its number,
// caption, source and thumbnail button; under them the preview's speed or quality.
class ItemsPage : public QWidget {
    Q_OBJECT
public:
    explicit ItemsPage(MenuDocument& doc, QWidget* parent = nullptr);

    // Fills the controls from the document without composing anything.
    void sync();
    // The rows follow the document: source state, rows past the count grey.
    void follow();
    // The numbers in front of the rows, from the first item's number.
    void relabelRows(int menustart);
    // The caption field of item 1..10.
    QLineEdit* captionField(int item) const;
    // The parts of the rows that take dropped files; each carries its item in "tag".
    std::vector<QWidget*> dropTargets() const;

    void tn1btnClick();

signals:
    // The thumbnail dialog for one item.
    void thumbnailRequested(int item);

private:
    void buildRows(class QGridLayout* grid, std::vector<QWidget*>& order);
    QWidget* buildPreviewMode(std::vector<QWidget*>& order);
    void showSource(int k);
    void run(const std::function<void()>& change);

    void FirstItemChange();
    void TotalItemsChange();
    void Edit1Change();
    void PreviewModeClick();

    MenuDocument& m_doc;
    struct RowShown {
        std::string clip;
        const void* pixels = nullptr;
        int width = -1;
        int height = -1;
        bool operator==(const RowShown&) const = default;
    };
    std::array<RowShown, kItemCount> m_rowShown{}; // what each row's state label shows

    NumberEdit* FirstItem = nullptr;
    NumberEdit* TotalItems = nullptr;
    std::array<QLabel*, kItemCount> CN{};
    std::array<QLineEdit*, kItemCount> Edit{};
    std::array<QPushButton*, kItemCount> tnbtn{};
    std::array<QLabel*, kItemCount> ItemState{}; // the source's thumbnail or file name
    QGroupBox* PreviewMode = nullptr;
    QButtonGroup* PreviewModeGroup = nullptr;
};
