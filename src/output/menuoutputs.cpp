#include "menuoutputs.h"

#include "base/failure.h"
#include "document/projectfile.h"
#include "imageio/picturewriter.h"
#include "missingsource.h"
#include "render/drawmenu.h"
#include "render/legibilitycheck.h"

#include <exception>

namespace {

void writePicture(const MenuDocument& doc, const MenuOutputs& outputs, OutputReporter& reporter,
                  OutputResult& result)
{
    const bool wanted = !outputs.exportFile.empty();
    Picture image;
    try {
        Picture scratch;
        MenuGeometry geometry;
        image = ComposeMenuImage(doc, scratch, &geometry, outputs.scaled);
        // Every command that makes the menu's picture says what will go wrong on the TV.
        for (const LegibilityWarning& w : CheckLegibility(doc, geometry, image)) {
            reporter.warning(w.message);
            ++result.warnings;
        }
    } catch (const std::exception& e) {
        const std::string why = e.what();
        reporter.failure((wanted ? "Error saving " + outputs.exportFile
                                 : std::string("Cannot compose the menu")) +
                         (why.empty() ? "" : ": " + why));
        result.writeFailed = true;
        return;
    }
    if (!wanted)
        return;
    try {
        WritePictureFile(outputs.type, outputs.exportFile, image);
    } catch (const Failure& e) {
        reporter.failure(e.what()); // "Error saving FILE: why"
        result.writeFailed = true;
        return;
    }
    reporter.saved(outputs.exportFile);
}

void writeDiscMenu(const MenuDocument& doc, const MenuOutputs& outputs, OutputReporter& reporter,
                   OutputResult& result)
{
    DiscMenuResult disc;
    try {
        disc = ExportDiscMenu(doc, outputs.discMenuDir, outputs.disc);
    } catch (const std::exception& e) {
        reporter.failure(e.what());
        result.writeFailed = true;
        return;
    }
    for (const std::string& file : disc.written)
        reporter.saved(file);
    switch (disc.subpicture) {
    case SubpictureOutcome::Added:
    case SubpictureOutcome::NotForVcd:
        if (!disc.note.empty())
            reporter.note(disc.note);
        break;
    case SubpictureOutcome::SpumuxMissing:
    case SubpictureOutcome::SpumuxFailed:
        reporter.failure(disc.note);
        result.subpictureFailed = true;
        break;
    }
}

} // namespace

OutputResult WriteMenuOutputs(MenuDocument& doc, const MenuOutputs& outputs,
                              OutputReporter& reporter)
{
    OutputResult result;
    const bool composes =
        !outputs.exportFile.empty() || !outputs.discMenuDir.empty() || outputs.check;
    if (composes && outputs.requireSources) {
        if (const std::string missing = MissingSource(doc); !missing.empty()) {
            reporter.failure(missing + "; nothing written");
            result.sourceMissing = true;
            return result;
        }
    }
    if (!outputs.exportFile.empty() || outputs.check || !outputs.discMenuDir.empty())
        writePicture(doc, outputs, reporter, result);
    if (!outputs.discMenuDir.empty())
        writeDiscMenu(doc, outputs, reporter, result);
    if (!outputs.saveFile.empty()) {
        try {
            SaveProject(doc, outputs.saveFile);
            reporter.saved(outputs.saveFile);
        } catch (const std::exception& e) {
            reporter.failure(e.what());
            result.writeFailed = true;
        }
    }
    return result;
}
