#include "edithistory.h"

#include "projectfile.h"

#include <string_view>
#include <utility>

namespace {

// Field numbers of changedField() are key indexes; an item's source (clip, frame and
// picture) is one field, as is the background path with its picture.
constexpr int kFirstSourceField = 1000;

int keyIndex(std::string_view name)
{
    return FindProjectKey(name);
}

std::string_view keyName(int index)
{
    return ProjectKeys()[static_cast<std::size_t>(index)].name;
}

int fieldOf(int index)
{
    const std::string_view name = keyName(index);
    if (name.starts_with("menuclip") || name.starts_with("menuframe"))
        return kFirstSourceField + ProjectKeyItem(index);
    return index;
}

// Typing in one of these merges into one step.
bool isTypedField(int field)
{
    if (field < 0 || field >= kProjectKeyCount)
        return false;
    const std::string_view name = keyName(field);
    return name == "title" || name == "subtitle" || name == "footnote" || name == "bgimage" ||
           name.starts_with("menucaption");
}

// The editor's words for a setting, as its controls and menus call it.
std::string fieldName(int field)
{
    if (field > kFirstSourceField && field <= kFirstSourceField + kItemCount)
        return "Item " + std::to_string(field - kFirstSourceField) + " thumbnail";
    if (field < 0 || field >= kProjectKeyCount)
        return {};
    if (const int item = ProjectKeyItem(field); item > 0)
        return "Item " + std::to_string(item) + " caption"; // the clip and frame are sources
    static constexpr std::pair<std::string_view, std::string_view> kNames[] = {
        {"menustart", "First item"},
        {"menucount", "Total items"},
        {"thumbs", "Show thumbnails"},
        {"numbers", "Show numbers"},
        {"bgimage", "Background image"},
        {"bgcolor", "Background colour"},
        {"textcolor", "Text colour"},
        {"textfont", "Text font"},
        {"boldtext", "Bold"},
        {"shadowtext", "Text shadow"},
        {"title", "Title"},
        {"subtitle", "Subtitle"},
        {"footnote", "Footnote"},
        {"titlesize", "Title size"},
        {"captionsize", "Caption size"},
        {"quality", "Preview mode"},
        {"aspect", "TV shape"},
        {"fittext", "Fit text"},
        {"tvsafe", "TV-safe output"},
        {"safelayout", "Keep inside title-safe"},
        {"buttonstyle", "Disc buttons"},
        {"highlightcolor", "Highlight colour"},
        {"selectcolor", "Select colour"},
    };
    for (const auto& [key, name] : kNames)
        if (key == keyName(field))
            return std::string(name);
    return {};
}

std::shared_ptr<const Picture> share(const Picture& picture)
{
    return std::make_shared<const Picture>(picture);
}

} // namespace

EditHistory::EditHistory(std::size_t limit) : m_limit(limit == 0 ? 1 : limit) {}

DocumentState EditHistory::capture(const MenuDocument& doc, const DocumentState* previous)
{
    DocumentState s;
    const ProjectValues values(ProjectFileText(doc));
    for (int i = 0; i < kProjectKeyCount; ++i)
        s.values[static_cast<std::size_t>(i)] = values.value(keyName(i));
    const auto sameValue = [&](std::string_view name) {
        const auto k = static_cast<std::size_t>(keyIndex(name));
        return previous && previous->values[k] == s.values[k];
    };
    for (int n = 1; n <= kItemCount; ++n) {
        const auto i = static_cast<std::size_t>(n - 1);
        const std::string number = std::to_string(n);
        const bool sameSource = previous && previous->thumbnails[i] &&
                                sameValue("menuclip" + number) && sameValue("menuframe" + number);
        s.thumbnails[i] =
            sameSource ? previous->thumbnails[i] : share(doc.items[i].source.ThumbnailImage);
    }
    s.background = previous && previous->background && sameValue("bgimage")
                       ? previous->background
                       : share(doc.BackgroundPicture);
    return s;
}

int EditHistory::changedField(const DocumentState& a, const DocumentState& b)
{
    int found = kNoField;
    const auto note = [&found](int field) {
        if (found == kNoField)
            found = field;
        else if (found != field)
            found = kSeveralFields;
    };
    for (int i = 0; i < kProjectKeyCount; ++i)
        if (a.values[static_cast<std::size_t>(i)] != b.values[static_cast<std::size_t>(i)])
            note(fieldOf(i));
    for (int n = 1; n <= kItemCount; ++n)
        if (a.thumbnails[static_cast<std::size_t>(n - 1)] !=
            b.thumbnails[static_cast<std::size_t>(n - 1)])
            note(kFirstSourceField + n);
    if (a.background != b.background)
        note(keyIndex("bgimage"));
    return found;
}

void EditHistory::reset(const MenuDocument& doc)
{
    m_undo.clear();
    m_redo.clear();
    m_current = capture(doc, nullptr);
    m_saved = m_current;
    closeStep();
}

bool EditHistory::record(const MenuDocument& doc)
{
    if (m_applying)
        return false;
    DocumentState next = capture(doc, &m_current);
    const int field = changedField(m_current, next);
    if (field == kNoField)
        return false;
    const bool merging = m_dragging || isTypedField(field);
    if (!(merging && field == m_openField && !m_undo.empty())) {
        m_undo.push_back({std::move(m_current), field});
        if (m_undo.size() > m_limit)
            m_undo.erase(m_undo.begin());
    }
    m_current = std::move(next);
    m_openField = merging ? field : kNoField;
    m_redo.clear();
    return true;
}

void EditHistory::apply(MenuDocument& doc, const DocumentState& target)
{
    // Restores the flags however the refresh ends.
    struct Applying {
        MenuDocument& doc;
        bool& applying;
        bool render;
        ~Applying()
        {
            doc.RenderEnabled = render;
            applying = false;
        }
    } guard{doc, m_applying, doc.RenderEnabled};
    m_applying = true;
    doc.RenderEnabled = false; // one refresh at the end, not one per value

    const int bgimage = keyIndex("bgimage");
    for (int i = 0; i < kProjectKeyCount; ++i) {
        const std::string& value = target.values[static_cast<std::size_t>(i)];
        if (value == m_current.values[static_cast<std::size_t>(i)] ||
            ProjectKeys()[static_cast<std::size_t>(i)].kind == ProjectValueKind::Fixed)
            continue;
        if (i == bgimage)
            doc.bgimage = value; // its picture comes from the state, not from the file
        else
            ApplyProjectValue(doc, std::string(keyName(i)), value);
    }
    // Only a picture that differs is copied back; none is decoded again.
    for (std::size_t i = 0; i < target.thumbnails.size(); ++i)
        if (target.thumbnails[i] != m_current.thumbnails[i])
            doc.items[i].source.ThumbnailImage = *target.thumbnails[i];
    if (target.background != m_current.background)
        doc.BackgroundPicture = *target.background;
    if (doc.onSyncPanel)
        doc.onSyncPanel();
    doc.RenderEnabled = guard.render;
    doc.refresh();
}

bool EditHistory::undo(MenuDocument& doc)
{
    if (m_undo.empty())
        return false;
    Step target = std::move(m_undo.back());
    m_undo.pop_back();
    apply(doc, target.state);
    m_redo.push_back({std::move(m_current), target.field});
    m_current = std::move(target.state);
    closeStep();
    return true;
}

bool EditHistory::redo(MenuDocument& doc)
{
    if (m_redo.empty())
        return false;
    Step target = std::move(m_redo.back());
    m_redo.pop_back();
    apply(doc, target.state);
    m_undo.push_back({std::move(m_current), target.field});
    m_current = std::move(target.state);
    closeStep();
    return true;
}

std::string EditHistory::undoName() const
{
    return m_undo.empty() ? std::string() : fieldName(m_undo.back().field);
}

std::string EditHistory::redoName() const
{
    return m_redo.empty() ? std::string() : fieldName(m_redo.back().field);
}

void EditHistory::markSaved(const MenuDocument& doc)
{
    record(doc);
    closeStep();
    m_saved = m_current;
}

bool EditHistory::isModified() const
{
    return changedField(m_current, m_saved) != kNoField;
}
