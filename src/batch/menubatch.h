#pragma once

#include "csvtable.h"
#include "document/menudocument.h"
#include "imageio/picturetype.h"
#include "menusettings.h"

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

// Many menus from one table: each row is a copy of a base document with the row's
// values applied as --set applies them, written under its own name. Rows are
// independent, so any number of them run at once and give the same files as one at a time.

struct BatchRow {
    std::size_t number = 0; // 1-based among the table's data rows
    std::size_t line = 0;   // where the row starts in the table
    std::string name;       // output name without extension: safe and unique
    std::vector<Setting> settings;
    std::string problem; // why the row cannot be made, found while reading the table
};

// The table's rows. The header names project keys (any case, surrounding blanks
// ignored) and at most one "name" column. Values are checked as --set checks them; a
// bad value or a row with the wrong number of fields becomes that row's problem.
// Names are the "name" column (or the row number), made safe and unique, with an
// extension equal to `extension` dropped. Throws std::runtime_error for a header that
// makes the whole table unusable (an unknown, empty or repeated column).
std::vector<BatchRow> BatchRowsFromTable(const CsvTable& table, const std::string& extension);

struct BatchSettings {
    std::string outDir; // exists already
    PictureType type = PictureType::Png;
    bool saveProjects = false; // name.tavrel beside each picture
    int jobs = 1;
    // The row's disc menu into outDir/name/ instead of the picture; a row whose menu.mpg
    // lacks its buttons has failed.
    bool discMenu = false;
};

struct BatchResult {
    std::size_t number = 0;
    std::size_t line = 0;
    bool ok = false;
    std::string output; // the picture's file name, or the disc menu's folder name and "/"
    std::string error;  // why the row failed
    std::vector<std::string> notes;
    std::vector<std::string> warnings; // what will go wrong on a TV
};

// Makes every row's menu from `base`, settings.jobs rows at a time (1: on the calling
// thread). `done` hears about each row as it finishes, one call at a time. Text is
// drawn on worker threads, so a QGuiApplication must exist.
void RunMenuBatch(const MenuDocument& base, const std::vector<BatchRow>& rows,
                  const BatchSettings& settings,
                  const std::function<void(const BatchResult&)>& done);

class PictureFileCache;
class ScaledPictureCache;

// One row, as RunMenuBatch makes it; picture files come through `pictures`, rescales
// through `scaled` and automatic frames through `frames` when given (none of them
// changes a single byte of the result).
BatchResult MakeBatchRow(const MenuDocument& base, const BatchRow& row,
                         const BatchSettings& settings, PictureFileCache* pictures = nullptr,
                         ScaledPictureCache* scaled = nullptr, AutoFrameMemo* frames = nullptr);
