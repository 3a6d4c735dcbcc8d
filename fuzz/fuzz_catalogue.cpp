// SPDX-License-Identifier: GPL-3.0-or-later
// The module catalogue loader on any file (--catalogue names one), and the
// conversions it applies to each location: home substitution and file URLs.

#include "FuzzSupport.h"
#include "engine/ModuleInfo.h"
#include "format/FileUrl.h"
#include "format/Plist.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    fuzz::installServices();
    const std::string_view bytes = fuzz::text(data, size);
    static const std::string path = fuzz::writeScratch("SpruceModules.plist", "");
    fuzz::writeScratch("SpruceModules.plist", bytes);

    const auto loaded = core::ModuleInfo::loadCatalogue(path, "/home/fuzz user");
    if (loaded) {
        const std::vector<core::Module> &modules = loaded.value();
        if (modules.size() < 5 || modules.at(3).categories.size() < 4) {
            fuzz::fail("a catalogue without the positions the program relies on");
        }
        for (const core::Module &module : modules) {
            for (const core::Category &category : module.categories) {
                (void)core::format::pathFromFileUrl(category.url.url);
                for (const core::FolderUrl &url : category.urls) {
                    (void)core::format::pathFromFileUrl(url.url);
                }
            }
        }
    } else if (loaded.error().message.find('\n') != std::string::npos) {
        fuzz::fail("a catalogue error of more than one line");
    }

    // The conversions on whatever the bytes parse to, with the substitution on the raw text.
    if (const auto value = core::format::readPlistMemory(bytes, core::format::MaxPlistNodes)) {
        (void)core::ModuleInfo::wrappCusomterUrl(&*value);
        (void)core::ModuleInfo::wrappCusomterUrls(*value);
    }
    const std::string substituted = core::ModuleInfo::substituteHome(bytes, "/home/fuzz");
    if (bytes.find("file://~/") == std::string_view::npos && substituted != bytes) {
        fuzz::fail("the home substitution changed a text without file://~/");
    }
    return 0;
}
