// placeholder until the readers land
#include "imageunit.h"
bool LoadPictureFile(const std::string&, Picture&) { return false; }
