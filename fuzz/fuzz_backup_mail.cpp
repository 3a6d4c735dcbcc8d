// SPDX-License-Identifier: GPL-3.0-or-later
// The special scanners on data files written by other programs: the input is
// a device backup's Info.plist and a mail client's PersistenceInfo.plist in a
// scratch home that holds one backup and one mail account. Whatever the file
// says, the scans stay inside their folders and a category's size is what it lists.

#include "FuzzSupport.h"
#include "engine/ModuleInfo.h"
#include "format/FileUrl.h"

namespace {

core::Category category(const std::string &type, const std::string &folder)
{
    core::Category c;
    c.type = type;
    c.url = core::FolderUrl{ core::format::fileUrlFromPath(fuzz::scratchDir() + "/" + folder, true), "Folder", 0 };
    return c;
}

void checkListed(const core::Category &c, const std::string &folder)
{
    const std::string inside = fuzz::scratchDir() + "/" + folder + "/";
    std::int64_t total = 0;
    for (const core::FolderInfoPtr &record : c.files) {
        const auto path = core::format::pathFromFileUrl(record->url());
        if (!path || !path->starts_with(inside)) {
            fuzz::fail("a record outside the category's folder");
        }
        total += record->size;
    }
    if (total != c.size) {
        fuzz::fail("a category's size that is not the sum of what it lists");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    fuzz::installServices({ { "Backup/00008030-aaaa/Manifest.db", "manifest" },
        { "Backup/stray-file", "x" },
        { "Mail/V10/acc/INBOX.mbox/Attachments/1/photo.jpg", "jpeg" },
        { "Mail/V10/acc/INBOX.mbox/Messages/1.emlx", "mail" },
        { "outside/acc/Attachments/secret.txt", "not mail" } });
    const std::string_view bytes = fuzz::text(data, size);
    fuzz::writeScratch("Backup/00008030-aaaa/Info.plist", bytes);
    fuzz::writeScratch("Mail/PersistenceInfo.plist", bytes);

    const core::Progress progress = [](const std::string &, std::int64_t) {};
    const core::ShowPercent showPercent = [](float) {};
    core::Category backups = category("iTunes", "Backup");
    core::ModuleInfo::scaniTunes(backups, progress, showPercent);
    checkListed(backups, "Backup");
    core::Category mail = category("Mail", "Mail");
    core::ModuleInfo::scanMailAttachments(mail, progress, showPercent);
    checkListed(mail, "Mail");
    return 0;
}
