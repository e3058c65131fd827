#pragma once

#include "canvas.h"
#include "document/menudocument.h"

class ScaledPictureCache;

// Composes the whole menu onto `target` at the target's own size. `filtered` selects
// the Lanczos3 rescaler for pictures instead of the nearest-neighbour stretch;
// `scratch` is the work picture the rescaler writes into. With a `cache`, filtered
// rescales are taken from it instead of being computed again on every drawing; the
// drawing is identical. Does nothing while the document's RenderEnabled is false.
// Failures propagate to the caller.
void DrawMenu(const MenuDocument& doc, Canvas& target, Picture& scratch, bool filtered,
              ScaledPictureCache* cache = nullptr);

// The full-size export image (ImageWidth x ImageHeight), always filtered.
Picture ComposeMenuImage(const MenuDocument& doc, Picture& scratch);
