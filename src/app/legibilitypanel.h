#pragma once

#include "render/legibilitycheck.h"

#include <QWidget>

#include <functional>
#include <vector>

class QLabel;
class QListWidget;

// The strip under the preview that lists what the legibility check found: a count, and
// the warnings one per line while there are any. Clicking a warning about a text
// selects that text's field.
class LegibilityPanel : public QWidget {
    Q_OBJECT
public:
    explicit LegibilityPanel(QWidget* parent = nullptr);

    // Shows the warnings of the latest composition; an unchanged list changes nothing.
    void showWarnings(const std::vector<LegibilityWarning>& warnings);
    int count() const { return static_cast<int>(m_warnings.size()); }

    std::function<void(const LegibilityWarning&)> onSelect;

    QLabel* WarningCount = nullptr;
    QListWidget* WarningList = nullptr;

private:
    std::vector<LegibilityWarning> m_warnings;
};
