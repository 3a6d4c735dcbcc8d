// SPDX-License-Identifier: GPL-3.0-or-later
#include "Cli.h"
#include "JsonStream.h"
#include "Output.h"
#include "ScanSupport.h"
#include "engine/ModuleInfo.h"
#include "format/FileUrl.h"
#include "format/Format.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <ctime>
#include <limits>
#include <string_view>

namespace cli {

namespace {

/// Room for any date isoDate writes.
using DateText = std::array<char, 40>;

/// ISO 8601 UTC, as in every JSON document of the tool, written into `text`.
std::string_view isoDate(const core::Timestamp &date, DateText &text)
{
    if (date.isDistantPast()) {
        return "0001-01-01T00:00:00Z";
    }
    // Days to civil date (H. Hinnant, "chrono-compatible low-level date
    // algorithms"): much cheaper than gmtime_r + strftime for the hundreds of
    // thousands of records a home folder scan can hold.
    constexpr std::int64_t DaySeconds = 86'400;
    std::int64_t days = date.seconds / DaySeconds;
    std::int64_t secondOfDay = date.seconds % DaySeconds;
    if (secondOfDay < 0) {
        secondOfDay += DaySeconds;
        --days;
    }
    const std::int64_t z = days + 719'468;
    const std::int64_t era = (z >= 0 ? z : z - 146'096) / 146'097;
    const std::int64_t doe = z - era * 146'097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36'524 - doe / 146'096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    const std::int64_t day = doy - (153 * mp + 2) / 5 + 1;
    const std::int64_t month = mp < 10 ? mp + 3 : mp - 9;
    const std::int64_t year = yoe + era * 400 + (month <= 2 ? 1 : 0);
    if (year < 1000 || year > 9999) {
        // Outside four digits strftime decides the layout; keep its answer.
        const auto seconds = static_cast<std::time_t>(date.seconds);
        std::tm utc{};
        gmtime_r(&seconds, &utc);
        return { text.data(), std::strftime(text.data(), text.size(), "%Y-%m-%dT%H:%M:%SZ", &utc) };
    }
    // "YYYY-MM-DDTHH:MM:SSZ"
    constexpr std::string_view Layout = "0000-00-00T00:00:00Z";
    std::copy(Layout.begin(), Layout.end(), text.begin());
    const auto put = [&text](std::size_t at, std::int64_t value, std::size_t digits) {
        for (std::size_t k = digits; k > 0; --k) {
            text[at + k - 1] = static_cast<char>('0' + value % 10);
            value /= 10;
        }
    };
    put(0, year, 4);
    put(5, month, 2);
    put(8, day, 2);
    put(11, secondOfDay / 3600, 2);
    put(14, secondOfDay / 60 % 60, 2);
    put(17, secondOfDay % 60, 2);
    return { text.data(), Layout.size() };
}

// The JSON document is streamed rather than built: a home folder scan holds
// hundreds of thousands of records. Keys are written in sorted order, as the
// tool's other documents show them. `path` is scratch space, reused from
// record to record.
void writeRecord(
    JsonStream &json, const core::FolderInfo &record, std::string &path, std::string &url, core::UrlStart &urlStart)
{
    json.beginObject();
    json.key("checked");
    json.integer(record.checked);
    json.key("children");
    json.beginArray();
    for (const auto &child : record.children) {
        writeRecord(json, *child, path, url, urlStart);
    }
    json.endArray();
    json.key("date");
    DateText date{};
    json.string(isoDate(record.date, date));
    json.key("isFolder");
    json.boolean(record.isFolder);
    json.key("name");
    json.string(record.nameView());
    json.key("path");
    record.urlInto(url, urlStart);
    if (!record.pathInto(path)) {
        path = url;
    }
    json.string(path);
    json.key("size");
    json.integer(record.size);
    json.key("url");
    json.string(url);
    json.endObject();
}

/// A module's records in one numbering, category after category.
class ModuleRecords
{
public:
    explicit ModuleRecords(const core::Module &module)
        : m_module(module)
    {
        for (const auto &category : module.categories) {
            m_ends.push_back((m_ends.empty() ? 0 : m_ends.back()) + category.files.size());
        }
    }

    std::size_t size() const { return m_ends.empty() ? 0 : m_ends.back(); }

    const core::FolderInfo &at(std::size_t k) const
    {
        const std::size_t c =
            static_cast<std::size_t>(std::upper_bound(m_ends.begin(), m_ends.end(), k) - m_ends.begin());
        return *m_module.categories[c].files[k - (c == 0 ? 0 : m_ends[c - 1])];
    }

private:
    const core::Module &m_module;
    std::vector<std::size_t> m_ends; // one past each category's last record
};

/// Records of the same size, date and URL stand for one item; this hashes
/// the first two, which are cheap to compare.
std::uint32_t itemHash(const core::FolderInfo &record)
{
    std::uint64_t hash = static_cast<std::uint64_t>(record.size) * 0x9E3779B97F4A7C15ULL;
    hash ^= (static_cast<std::uint64_t>(record.date.seconds) + static_cast<std::uint64_t>(record.date.nanoseconds))
        * 0xC2B2AE3D27D4EB4FULL;
    hash ^= hash >> 29U;
    return static_cast<std::uint32_t>(hash ^ (hash >> 32U));
}

/// The bytes of the records that repeat an earlier one: the large-and-old
/// module lists a file that is both big and old in two bands, as two
/// records of one path. `hashes` holds itemHash of every record.
std::int64_t repeatedBytes(const ModuleRecords &records, const std::vector<std::uint32_t> &hashes)
{
    // Open addressing on the hashes; records are compared only when theirs agree.
    constexpr std::uint32_t Empty = std::numeric_limits<std::uint32_t>::max();
    // At most three quarters full: a million records take 4 MiB of slots.
    std::size_t capacity = 16;
    while (capacity / 4 * 3 < hashes.size() + 1) {
        capacity *= 2;
    }
    std::vector<std::uint32_t> slots(capacity, Empty);
    std::int64_t repeated = 0;
    for (std::size_t k = 0; k < hashes.size(); ++k) {
        for (std::size_t at = hashes[k] & (capacity - 1);; at = (at + 1) & (capacity - 1)) {
            if (slots[at] == Empty) {
                slots[at] = static_cast<std::uint32_t>(k);
                break;
            }
            if (hashes[slots[at]] != hashes[k]) {
                continue;
            }
            const core::FolderInfo &seen = records.at(slots[at]);
            const core::FolderInfo &record = records.at(k);
            if (seen.size == record.size && seen.date == record.date && seen.url() == record.url()) {
                repeated += record.size;
                break;
            }
        }
    }
    return repeated;
}

/// The module's size with every item counted once.
std::int64_t moduleTotal(const core::Module &module)
{
    const ModuleRecords records(module);
    std::vector<std::uint32_t> hashes;
    hashes.reserve(records.size());
    std::int64_t total = 0;
    for (const auto &category : module.categories) {
        total += category.size;
        for (const auto &file : category.files) {
            hashes.push_back(itemHash(*file));
        }
    }
    return total - repeatedBytes(records, hashes);
}

void writeModule(JsonStream &json, int moduleIndex)
{
    const core::Module &module = core::ModuleInfo::modules().at(static_cast<std::size_t>(moduleIndex));
    // The records' hashes for the module's total are taken while the records
    // are written, when they are at hand anyway; the total comes last.
    const ModuleRecords records(module);
    std::int64_t total = 0;
    for (const auto &category : module.categories) {
        total += category.size;
    }
    std::vector<std::uint32_t> hashes(records.size());
    std::size_t hashesBefore = 0;
    json.beginObject();
    json.key("categories");
    json.beginArray();
    for (std::size_t c = 0; c < module.categories.size(); ++c) {
        const core::Category &category = module.categories[c];
        json.beginObject();
        json.key("files");
        json.beginArray();
        const auto &files = category.files;
        std::uint32_t *categoryHashes = hashes.data() + hashesBefore;
        hashesBefore += files.size();
        json.elements(files.size(), [&files, categoryHashes](std::size_t first, std::size_t end, JsonStream &piece) {
            std::string path;
            std::string url;
            core::UrlStart urlStart;
            for (std::size_t k = first; k < end; ++k) {
                // Records lie apart in memory: ask for the next ones early.
                if (k + 16 < end) {
                    const auto *ahead = reinterpret_cast<const char *>(files[k + 16].get());
                    for (std::size_t line = 0; line < sizeof(core::FolderInfo); line += 64) {
                        __builtin_prefetch(ahead + line);
                    }
                }
                if (k + 8 < end) {
                    __builtin_prefetch(files[k + 8]->nameView().data());
                }
                writeRecord(piece, *files[k], path, url, urlStart);
                categoryHashes[k] = itemHash(*files[k]);
            }
        });
        json.endArray();
        json.key("index");
        json.integer(static_cast<std::int64_t>(c));
        if (!category.notes.empty()) {
            json.key("notes");
            json.beginArray();
            for (const std::string &note : category.notes) {
                json.string(note);
            }
            json.endArray();
        }
        json.key("size");
        json.integer(category.size);
        json.key("state");
        json.integer(category.state);
        json.key("title");
        json.string(category.title);
        json.key("type");
        json.string(category.type);
        json.endObject();
    }
    json.endArray();
    json.key("index");
    json.integer(moduleIndex);
    json.key("size");
    json.integer(total - repeatedBytes(records, hashes));
    json.key("tab");
    json.string(module.tab);
    json.key("title");
    json.string(module.title);
    json.endObject();
}

void printRecord(const core::FolderInfo &record, int depth)
{
    const std::string path = core::format::pathFromFileUrl(record.url()).value_or(record.url());
    std::printf("%*s%12s  %s%s\n",
        depth * 4,
        "",
        core::format::formatByteCount(record.size).c_str(),
        printableText(path).c_str(),
        record.isFolder ? "/" : "");
    for (const auto &child : record.children) {
        printRecord(*child, depth + 1);
    }
}

void printModule(int moduleIndex, bool withFiles)
{
    const core::Module &module = core::ModuleInfo::modules().at(static_cast<std::size_t>(moduleIndex));
    const std::int64_t total = moduleTotal(module);
    std::int64_t reviewOnly = 0;
    for (const auto &category : module.categories) {
        if (core::isReviewOnly(category)) {
            reviewOnly += category.size;
        }
    }
    std::printf("%d %s (%s): %s",
        moduleIndex,
        printableText(module.title).c_str(),
        printableText(module.tab).c_str(),
        core::format::formatByteCount(total).c_str());
    if (reviewOnly > 0) {
        std::printf(", of which %s for review only", core::format::formatByteCount(reviewOnly).c_str());
    }
    std::fputc('\n', stdout);
    for (std::size_t c = 0; c < module.categories.size(); ++c) {
        const core::Category &category = module.categories[c];
        std::printf("  [%zu] %-40s %12s  %zu item%s%s\n",
            c,
            printableText(category.title).c_str(),
            core::format::formatByteCount(category.size).c_str(),
            category.files.size(),
            category.files.size() == 1 ? "" : "s",
            core::isReviewOnly(category) ? "  (review only: never deleted)" : "");
        // What the scan could not measure belongs to the result: a total without it would mislead.
        for (const std::string &note : category.notes) {
            std::printf("      not measured: %s\n", printableText(note).c_str());
        }
        if (withFiles) {
            for (const auto &file : category.files) {
                printRecord(*file, 2);
            }
        }
    }
}

} // namespace

int runScan(const Invocation &inv)
{
    bool withFiles = false;
    std::vector<std::string> words;
    for (std::size_t k = 0; k < inv.args.size(); ++k) {
        const std::string &arg = inv.args[k];
        if (!inv.isOption(k)) {
            words.push_back(arg);
        } else if (arg == "--files") {
            withFiles = true;
        } else {
            return usageError("unknown option for scan: " + printableText(arg));
        }
    }
    if (words.empty()) {
        return usageError("scan needs at least one MODULE (1, 2, 3, 5 or a tab name)");
    }
    loadCatalogue(inv);
    std::vector<int> indexes;
    for (const auto &word : words) {
        const auto index = resolveModule(word);
        if (!index) {
            return usageError(
                "unknown module " + printableText(word) + " (use 1, 2, 3, 5 or a tab name such as systemJunk)");
        }
        indexes.push_back(*index);
    }
    const WalkProblems problems = scanModules(indexes, inv.global);

    if (inv.global.json) {
        JsonStream json(stdout, stdoutJsonLayout());
        json.beginObject();
        json.key("modules");
        json.beginArray();
        for (const int index : indexes) {
            writeModule(json, index);
        }
        json.endArray();
        json.key("unreadable");
        json.integer(static_cast<std::int64_t>(problems.unreadable));
        json.endObject();
        json.finish();
    } else {
        for (const int index : indexes) {
            printModule(index, withFiles);
        }
    }
    // As du does: a total that leaves unreadable folders out is not a clean
    // success; nor is one that may show what the user asked to keep.
    return problems.unreadable > 0 || problems.keepList ? ExitItemsFailed : ExitOk;
}

} // namespace cli
