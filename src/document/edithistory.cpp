#include "edithistory.h"

#include <utility>

namespace {

// Field numbers of changedField(); the texts typed in one field merge into one step.
enum Field : int {
    Title,
    Subtitle,
    Footnote,
    BgImage,
    TextFont,
    BoldText,
    ShadowText,
    Thumbs,
    Numbers,
    Quality,
    TextColor,
    BgColor,
    TitleSize,
    CaptionSize,
    MenuStart,
    MenuCount,
    FirstCaption = 100,
    FirstSource = 200,
};

bool isTypedField(int field)
{
    return field == Title || field == Subtitle || field == Footnote || field == BgImage ||
           (field >= FirstCaption && field < FirstCaption + kItemCount);
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
    s.title = doc.title;
    s.subtitle = doc.subtitle;
    s.footnote = doc.footnote;
    s.textfont = doc.textfont;
    s.bgimage = doc.bgimage;
    s.boldtext = doc.boldtext;
    s.shadowtext = doc.shadowtext;
    s.thumbs = doc.thumbs;
    s.numbers = doc.numbers;
    s.quality = doc.quality;
    s.textcolor = doc.textcolor;
    s.bgcolor = doc.bgcolor;
    s.titlesize = doc.titlesize;
    s.captionsize = doc.captionsize;
    s.menustart = doc.menustart;
    s.menucount = doc.menucount;
    for (std::size_t i = 0; i < s.items.size(); ++i) {
        const ThumbnailSource& source = doc.items[i].source;
        DocumentState::Item& item = s.items[i];
        item.caption = doc.items[i].menucaption;
        item.clip = source.menuclip;
        item.frame = source.menuframe;
        const DocumentState::Item* before = previous ? &previous->items[i] : nullptr;
        item.thumbnail =
            before && before->thumbnail && before->clip == item.clip && before->frame == item.frame
                ? before->thumbnail
                : share(source.ThumbnailImage);
    }
    s.background = previous && previous->background && previous->bgimage == s.bgimage
                       ? previous->background
                       : share(doc.BackgroundPicture);
    return s;
}

int EditHistory::changedField(const DocumentState& a, const DocumentState& b)
{
    int found = kNoField;
    const auto check = [&found](bool differs, int field) {
        if (differs)
            found = found == kNoField ? field : kSeveralFields;
    };
    check(a.title != b.title, Title);
    check(a.subtitle != b.subtitle, Subtitle);
    check(a.footnote != b.footnote, Footnote);
    check(a.bgimage != b.bgimage || a.background != b.background, BgImage);
    check(a.textfont != b.textfont, TextFont);
    check(a.boldtext != b.boldtext, BoldText);
    check(a.shadowtext != b.shadowtext, ShadowText);
    check(a.thumbs != b.thumbs, Thumbs);
    check(a.numbers != b.numbers, Numbers);
    check(a.quality != b.quality, Quality);
    check(a.textcolor != b.textcolor, TextColor);
    check(a.bgcolor != b.bgcolor, BgColor);
    check(a.titlesize != b.titlesize, TitleSize);
    check(a.captionsize != b.captionsize, CaptionSize);
    check(a.menustart != b.menustart, MenuStart);
    check(a.menucount != b.menucount, MenuCount);
    for (int i = 0; i < kItemCount; ++i) {
        const auto& x = a.items[static_cast<std::size_t>(i)];
        const auto& y = b.items[static_cast<std::size_t>(i)];
        check(x.caption != y.caption, FirstCaption + i);
        check(x.clip != y.clip || x.frame != y.frame || x.thumbnail != y.thumbnail,
              FirstSource + i);
    }
    return found;
}

void EditHistory::reset(const MenuDocument& doc)
{
    m_undo.clear();
    m_redo.clear();
    m_current = capture(doc, nullptr);
    m_saved = m_current;
    m_openField = kNoField;
}

bool EditHistory::record(const MenuDocument& doc)
{
    if (m_applying)
        return false;
    DocumentState next = capture(doc, &m_current);
    const int field = changedField(m_current, next);
    if (field == kNoField)
        return false;
    const bool merge = field == m_openField && isTypedField(field) && !m_undo.empty();
    if (!merge) {
        m_undo.push_back(std::move(m_current));
        if (m_undo.size() > m_limit)
            m_undo.erase(m_undo.begin());
    }
    m_current = std::move(next);
    m_openField = isTypedField(field) ? field : kNoField;
    m_redo.clear();
    return true;
}

void EditHistory::apply(MenuDocument& doc, const DocumentState& target)
{
    doc.title = target.title;
    doc.subtitle = target.subtitle;
    doc.footnote = target.footnote;
    doc.textfont = target.textfont;
    doc.bgimage = target.bgimage;
    doc.boldtext = target.boldtext;
    doc.shadowtext = target.shadowtext;
    doc.thumbs = target.thumbs;
    doc.numbers = target.numbers;
    doc.quality = target.quality;
    doc.textcolor = target.textcolor;
    doc.bgcolor = target.bgcolor;
    doc.titlesize = target.titlesize;
    doc.captionsize = target.captionsize;
    doc.menustart = target.menustart;
    doc.menucount = target.menucount;
    for (std::size_t i = 0; i < target.items.size(); ++i) {
        const DocumentState::Item& item = target.items[i];
        menurec& rec = doc.items[i];
        rec.menucaption = item.caption;
        rec.source.menuclip = item.clip;
        rec.source.menuframe = item.frame;
        // Only a picture that differs is copied back; none is decoded again.
        if (item.thumbnail != m_current.items[i].thumbnail)
            rec.source.ThumbnailImage = *item.thumbnail;
    }
    if (target.background != m_current.background)
        doc.BackgroundPicture = *target.background;
    m_applying = true;
    try {
        if (doc.onMenuStartChanged)
            doc.onMenuStartChanged(doc.menustart);
        if (doc.onSyncPanel)
            doc.onSyncPanel();
        doc.refresh();
    } catch (...) {
        m_applying = false;
        throw;
    }
    m_applying = false;
}

bool EditHistory::undo(MenuDocument& doc)
{
    if (m_undo.empty())
        return false;
    DocumentState target = std::move(m_undo.back());
    m_undo.pop_back();
    apply(doc, target);
    m_redo.push_back(std::move(m_current));
    m_current = std::move(target);
    m_openField = kNoField;
    return true;
}

bool EditHistory::redo(MenuDocument& doc)
{
    if (m_redo.empty())
        return false;
    DocumentState target = std::move(m_redo.back());
    m_redo.pop_back();
    apply(doc, target);
    m_undo.push_back(std::move(m_current));
    m_current = std::move(target);
    m_openField = kNoField;
    return true;
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
