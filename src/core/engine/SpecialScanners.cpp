// Scanners of the special category types. Until their real walks land they
// change nothing and report their whole share, so a module's progress still
// reaches 1.0 and its scan completes.
#include "engine/ModuleInfo.h"

namespace core {

void ModuleInfo::scaniTunes(Category & /*category*/, const Progress & /*progress*/, const ShowPercent &showPercent)
{
    postShowPercent(showPercent, 1.0F);
}

void ModuleInfo::scanMailAttachments(
    Category & /*category*/, const Progress & /*progress*/, const ShowPercent &showPercent)
{
    postShowPercent(showPercent, 1.0F);
}

void ModuleInfo::scanLanguage(Category & /*category*/, const Progress & /*progress*/, const ShowPercent &showPercent)
{
    postShowPercent(showPercent, 1.0F);
}

std::vector<Category> ModuleInfo::scanLargeAndOldFile(
    std::vector<Category> categories, const Progress & /*progress*/, const ShowPercent &showPercent)
{
    postShowPercent(showPercent, 1.0F);
    return categories;
}

} // namespace core
