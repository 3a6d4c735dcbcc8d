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
#include <string_view>
#include <tuple>

namespace cli {

namespace {

/// ISO 8601 UTC, as in every JSON document of the tool.
std::string isoDate(const core::Timestamp &date)
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
        std::array<char, 40> buf{};
        std::strftime(buf.data(), buf.size(), "%Y-%m-%dT%H:%M:%SZ", &utc);
        return buf.data();
    }
    // "YYYY-MM-DDTHH:MM:SSZ"
    std::string text = "0000-00-00T00:00:00Z";
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
    return text;
}

// The JSON document is streamed rather than built: a home folder scan holds
// hundreds of thousands of records. Keys are written in sorted order, as the
// tool's other documents show them.
void writeRecord(JsonStream &json, const core::FolderInfo &record)
{
    const std::string path = core::format::pathFromFileUrl(record.url).value_or(record.url);
    json.beginObject();
    json.key("checked");
    json.integer(record.checked);
    json.key("children");
    json.beginArray();
    for (const auto &child : record.children) {
        writeRecord(json, *child);
    }
    json.endArray();
    json.key("date");
    json.string(isoDate(record.date));
    json.key("isFolder");
    json.boolean(record.isFolder);
    json.key("name");
    json.string(record.name);
    json.key("path");
    json.string(path);
    json.key("size");
    json.integer(record.size);
    json.key("url");
    json.string(record.url);
    json.endObject();
}

/// The module's size with every item counted once: the large-and-old module
/// lists a file that is both big and old in two bands, as two records of one
/// path.
std::int64_t moduleTotal(const core::Module &module)
{
    struct Key
    {
        std::int64_t size;
        core::Timestamp date;
        const core::FolderInfo *record;
    };
    std::vector<Key> keys;
    std::int64_t total = 0;
    for (const auto &category : module.categories) {
        total += category.size;
        for (const auto &file : category.files) {
            keys.push_back(Key{ file->size, file->date, file.get() });
        }
    }
    // URLs are compared only between records of equal size and date, so
    // repeats end up next to each other at little cost.
    std::sort(keys.begin(), keys.end(), [](const Key &a, const Key &b) {
        if (a.size != b.size || a.date != b.date) {
            return std::tie(a.size, a.date) < std::tie(b.size, b.date);
        }
        return a.record->url < b.record->url;
    });
    for (std::size_t k = 1; k < keys.size(); ++k) {
        const Key &previous = keys[k - 1];
        if (keys[k].size == previous.size && keys[k].date == previous.date
            && keys[k].record->url == previous.record->url) {
            total -= keys[k].size;
        }
    }
    return total;
}

void writeModule(JsonStream &json, int moduleIndex)
{
    const core::Module &module = core::ModuleInfo::modules().at(static_cast<std::size_t>(moduleIndex));
    json.beginObject();
    json.key("categories");
    json.beginArray();
    for (std::size_t c = 0; c < module.categories.size(); ++c) {
        const core::Category &category = module.categories[c];
        json.beginObject();
        json.key("files");
        json.beginArray();
        for (const auto &file : category.files) {
            writeRecord(json, *file);
        }
        json.endArray();
        json.key("index");
        json.integer(static_cast<std::int64_t>(c));
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
    json.integer(moduleTotal(module));
    json.key("tab");
    json.string(module.tab);
    json.key("title");
    json.string(module.title);
    json.endObject();
}

void printRecord(const core::FolderInfo &record, int depth)
{
    const std::string path = core::format::pathFromFileUrl(record.url).value_or(record.url);
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
        if (isReviewOnly(category)) {
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
            isReviewOnly(category) ? "  (review only: never deleted)" : "");
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
        return usageError("scan needs at least one MODULE (1, 2, 3 or a tab name)");
    }
    loadCatalogue(inv);
    std::vector<int> indexes;
    for (const auto &word : words) {
        const auto index = resolveModule(word);
        if (!index) {
            return usageError(
                "unknown module " + printableText(word) + " (use 1, 2, 3 or a tab name such as systemJunk)");
        }
        indexes.push_back(*index);
    }
    const std::uint64_t unreadable = scanModules(indexes, inv.global);

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
        json.integer(static_cast<std::int64_t>(unreadable));
        json.endObject();
        json.finish();
    } else {
        for (const int index : indexes) {
            printModule(index, withFiles);
        }
    }
    // As du does: a total that leaves unreadable folders out is not a clean success.
    return unreadable > 0 ? ExitItemsFailed : ExitOk;
}

} // namespace cli
