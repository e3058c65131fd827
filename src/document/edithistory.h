#pragma once

#include "menudocument.h"
#include "projectparse.h"

#include <array>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

// Everything of a menu that the user edits: the values its project file would hold (so a
// setting added to the file is covered at once) and the pictures shown. Pictures are
// shared between states and taken again only when their source changes, so a state costs
// little more than its texts.
struct DocumentState {
    std::array<std::string, kProjectKeyCount> values; // indexed like ProjectKeys()
    std::array<std::shared_ptr<const Picture>, kItemCount> thumbnails;
    std::shared_ptr<const Picture> background;
};

// Undo and redo of document edits, and whether the document differs from its saved state.
// The owner calls record() after every change; successive changes of one text field, or of
// one setting during a drag, are one step until closeStep() or a change elsewhere.
class EditHistory {
public:
    explicit EditHistory(std::size_t limit = 500);

    // Forgets every step; the document as it is counts as saved (New, Open).
    void reset(const MenuDocument& doc);
    // Takes the document's state after a change; false when nothing had changed (also
    // while undo or redo refreshes the document).
    bool record(const MenuDocument& doc);
    // The next change starts a step of its own (the user left the field, released a slider).
    void closeStep()
    {
        m_openField = kNoField;
        m_dragging = false;
    }
    // Until closeStep(), successive changes of one setting are one step (a slider drag).
    void beginDrag()
    {
        closeStep();
        m_dragging = true;
    }

    bool canUndo() const { return !m_undo.empty(); }
    bool canRedo() const { return !m_redo.empty(); }
    // Puts the document back one step and refreshes it once; false when there is none.
    bool undo(MenuDocument& doc);
    bool redo(MenuDocument& doc);

    // The document as it is now is what the file holds.
    void markSaved(const MenuDocument& doc);
    // The document differs from what was last saved or opened.
    bool isModified() const;

    std::size_t undoCount() const { return m_undo.size(); }

    // What the next undo or redo takes back, in the editor's words ("Title", "Item 3
    // thumbnail"); empty when there is none or when the step changed several settings.
    std::string undoName() const;
    std::string redoName() const;

private:
    static constexpr int kNoField = -1;
    static constexpr int kSeveralFields = -2;

    // A state to go back to, and the field whose change left it.
    struct Step {
        DocumentState state;
        int field = kSeveralFields;
    };

    // Pictures whose source is unchanged are shared with `previous`.
    static DocumentState capture(const MenuDocument& doc, const DocumentState* previous);
    void apply(MenuDocument& doc, const DocumentState& target);
    static int changedField(const DocumentState& a, const DocumentState& b);

    std::size_t m_limit;
    std::vector<Step> m_undo;
    std::vector<Step> m_redo;
    DocumentState m_current;
    DocumentState m_saved;
    int m_openField = kNoField;
    bool m_dragging = false;
    bool m_applying = false; // the refresh of undo and redo records nothing
};
