#include "fontfamilies.h"

#include "base/asciicase.h"

#include <QFont>
#include <QFontDatabase>
#include <QFontInfo>
#include <QRegularExpression>
#include <QStringList>

#include <algorithm>
#include <initializer_list>

namespace {

// Faces that menus name often, with the free families drawn to the same measures.
// Only these count as substitutes: fontconfig maps any unknown name to some face, but
// a face of other measures would move every line of the menu.
struct MetricAlias {
    const char* name;
    std::initializer_list<const char*> substitutes;
};

const MetricAlias kMetricAliases[] = {
    {"Arial", {"Liberation Sans", "Arimo", "Nimbus Sans", "Albany AMT"}},
    {"Helvetica", {"Nimbus Sans", "Liberation Sans", "TeX Gyre Heros", "Arimo"}},
    {"Arial Narrow", {"Liberation Sans Narrow", "Nimbus Sans Narrow"}},
    {"Times New Roman", {"Liberation Serif", "Tinos", "Nimbus Roman", "Thorndale AMT"}},
    {"Times", {"Nimbus Roman", "Liberation Serif", "TeX Gyre Termes", "Tinos"}},
    {"Courier New", {"Liberation Mono", "Cousine", "Nimbus Mono PS", "Cumberland AMT"}},
    {"Courier", {"Nimbus Mono PS", "Liberation Mono", "TeX Gyre Cursor", "Cousine"}},
    {"Calibri", {"Carlito"}},
    {"Cambria", {"Caladea"}},
    {"Georgia", {"Gelasio"}},
    {"Palatino Linotype", {"P052", "TeX Gyre Pagella"}},
    {"Book Antiqua", {"P052", "TeX Gyre Pagella"}},
    {"Bookman Old Style", {"URW Bookman", "TeX Gyre Bonum"}},
    {"Century Schoolbook", {"C059", "TeX Gyre Schola"}},
    {"ITC Avant Garde Gothic", {"URW Gothic", "TeX Gyre Adventor"}},
    {"ITC Zapf Chancery", {"Z003", "TeX Gyre Chorus"}},
};

bool containsNoCase(const std::vector<std::string>& names, const std::string& name)
{
    return std::any_of(names.begin(), names.end(),
                       [&](const std::string& n) { return EqualsNoCase(n, name); });
}

} // namespace

std::string PlainFamilyName(const std::string& family)
{
    static const QRegularExpression foundry(QStringLiteral("\\s*\\[[^\\]]*\\]\\s*$"));
    return QString::fromStdString(family).remove(foundry).trimmed().toStdString();
}

std::vector<std::string> InstalledFontFamilies()
{
    std::vector<std::string> out;
    for (const QString& family : QFontDatabase::families()) {
        const std::string plain = PlainFamilyName(family.toStdString());
        if (!plain.empty() && !containsNoCase(out, plain))
            out.push_back(plain);
    }
    for (const MetricAlias& alias : kMetricAliases) {
        const std::string name = alias.name;
        if (containsNoCase(out, name))
            continue; // installed itself
        const std::string resolved = PlainFamilyName(
            QFontInfo(QFont(QString::fromLatin1(alias.name))).family().toStdString());
        if (std::any_of(alias.substitutes.begin(), alias.substitutes.end(),
                        [&](const char* s) { return EqualsNoCase(resolved, s); }))
            out.push_back(name);
    }
    std::sort(out.begin(), out.end(), [](const std::string& a, const std::string& b) {
        return QString::compare(QString::fromStdString(a), QString::fromStdString(b),
                                Qt::CaseInsensitive) < 0;
    });
    return out;
}
