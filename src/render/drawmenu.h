#pragma once

#include "canvas.h"
#include "document/menudocument.h"

class ScaledPictureCache;

// Composes the whole menu onto `target` at the target's own size. `filtered` selects
// the Lanczos3 rescaler for pictures instead of the nearest-neighbour stretch;
// `scratch` is the work picture the rescaler writes into. Does nothing while the
// document's RenderEnabled is false. Failures propagate to the caller.
void DrawMenu(const MenuDocument& doc, Canvas& target, Picture& scratch, bool filtered);

// The same, taking filtered rescales from `cache` (may be null) instead of computing
// them again on every drawing; the drawing is identical.
void DrawMenu(const MenuDocument& doc, Canvas& target, Picture& scratch, bool filtered,
              ScaledPictureCache* cache);

// The full-size export image (ImageWidth x ImageHeight), always filtered.
Picture ComposeMenuImage(const MenuDocument& doc, Picture& scratch);
