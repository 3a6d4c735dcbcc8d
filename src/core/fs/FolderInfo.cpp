// SPDX-License-Identifier: GPL-3.0-or-later
// FolderInfo: the record and its sizing operations. The
// deletion operations (deleteFile, tryDeleteFile) live in FolderDeletion.cpp.

#include "fs/FolderInfo.h"

#include "format/FileUrl.h"
#include "fs/RecordArena.h"
#include "platform/Services.h"
#include "tree/TreeSize.h"
#include "tree/Walker.h"

#include <array>
#include <atomic>
#include <climits>
#include <cstdint>
#include <mutex>
#include <new>
#include <optional>
#include <string_view>
#include <sys/mman.h>
#include <unistd.h>
#include <utility>

namespace core {

using platform::services;

namespace {

constexpr std::string_view UrlScheme = "file://";

/// A process-wide table of the few distinct values (icons, colours) records
/// carry, so that each record holds a one-byte position instead of the
/// value. Entries are only ever added; a position, once handed out, always
/// reads the same value. Positions up to Full - 1; Full means the table had
/// no room and the record keeps the value itself.
template<typename Value, std::size_t Size> class ValueTable
{
public:
    static constexpr std::uint8_t Full = Size;

    explicit ValueTable(std::initializer_list<Value> first)
    {
        std::size_t count = 0;
        for (const Value &value : first) {
            m_values[count++] = value;
        }
        m_count.store(count, std::memory_order_release);
    }

    const Value &at(std::uint8_t position) const { return m_values[position]; }

    /// The value's position, added when new. Finding one takes no lock:
    /// the entries below the published count never change.
    std::uint8_t positionOf(const Value &value)
    {
        const std::size_t published = m_count.load(std::memory_order_acquire);
        for (std::size_t k = 0; k < published; ++k) {
            if (m_values[k] == value) {
                return static_cast<std::uint8_t>(k);
            }
        }
        const std::lock_guard lock(m_mutex);
        const std::size_t count = m_count.load(std::memory_order_relaxed);
        for (std::size_t k = published; k < count; ++k) {
            if (m_values[k] == value) {
                return static_cast<std::uint8_t>(k);
            }
        }
        if (count == Size) {
            return Full;
        }
        m_values[count] = value;
        m_count.store(count + 1, std::memory_order_release);
        return static_cast<std::uint8_t>(count);
    }

private:
    std::mutex m_mutex;
    std::array<Value, Size> m_values{};
    std::atomic<std::size_t> m_count = 0;
};

using IconTable = ValueTable<IconRef, 255>;
using ColorTable = ValueTable<Rgba, 255>;

// The values of a walk's records come first, at fixed positions.
IconTable &icons()
{
    static IconTable table{ IconRef{},
        IconRef{ IconRef::Kind::Folder, {} },
        IconRef{ IconRef::Kind::Package, {} },
        IconRef{ IconRef::Kind::File, {} },
        IconRef{ IconRef::Kind::Symlink, {} } };
    return table;
}

ColorTable &colors()
{
    static ColorTable table{ Rgba{} };
    return table;
}

} // namespace

FolderInfo::FolderInfo(std::int64_t findexValue,
    std::string nameValue,
    IconRef iconValue,
    std::int64_t sizeValue,
    Rgba colorValue,
    bool isFolderValue,
    Timestamp dateValue,
    std::string urlValue,
    bool isPackageValue,
    std::vector<FolderInfoPtr> childrenValue,
    bool hiddenValue,
    int checkedValue)
    : findex(findexValue)
    , size(sizeValue)
    , date(dateValue)
    , checked(checkedValue)
    , children(std::move(childrenValue))
    , isFolder(isFolderValue)
    , isPackage(isPackageValue)
    , hidden(hiddenValue)
    , m_text(new detail::RecordText{ std::move(nameValue), std::move(urlValue), nullptr, {}, {} })
{
    setIcon(iconValue);
    setColor(colorValue);
}

FolderInfo::FolderInfo(PoolSpot, const detail::RecordFolder *folder, std::string_view name, bool urlSlash)
    : findex(0)
    , size(0)
    , date(Timestamp::distantPast())
    , checked(0)
    , isFolder(false)
    , isPackage(false)
    , hidden(false)
    , m_urlSlash(urlSlash)
    , m_nameSize(static_cast<std::uint16_t>(name.size()))
    , m_folder(folder)
    , m_nameData(name.data())
{
}

FolderInfo::FolderInfo(const FolderInfo &other)
    : findex(other.findex)
    , size(other.size)
    , date(other.date)
    , checked(other.checked)
    , children(other.children)
    , isFolder(other.isFolder)
    , isPackage(other.isPackage)
    , hidden(other.hidden)
    , m_icon(other.m_icon)
    , m_color(other.m_color)
    , m_text(new detail::RecordText{ other.name(), other.url(), other.anchor(), other.icon(), other.color() })
{
}

FolderInfo &FolderInfo::operator=(const FolderInfo &other)
{
    if (this != &other) {
        FolderInfo copy(other);
        findex = copy.findex;
        size = copy.size;
        date = copy.date;
        children = std::move(copy.children);
        checked = copy.checked;
        isFolder = copy.isFolder;
        isPackage = copy.isPackage;
        hidden = copy.hidden;
        ownText() = std::move(*copy.m_text);
        m_icon = copy.m_icon;
        m_color = copy.m_color;
        m_onlyListing = false;
    }
    return *this;
}

FolderInfo::~FolderInfo()
{
    if (m_folder == nullptr) {
        delete m_text;
    }
}

detail::RecordText &FolderInfo::ownText()
{
    if (m_folder != nullptr) {
        auto *text = new detail::RecordText{ name(), url(), anchor(), icon(), color() };
        m_folder = nullptr;
        m_text = text;
    }
    return *m_text;
}

std::string_view FolderInfo::nameView() const
{
    return m_folder != nullptr ? std::string_view(m_nameData, m_nameSize) : std::string_view(m_text->name);
}

void FolderInfo::setName(std::string value)
{
    ownText().name = std::move(value);
}

std::string FolderInfo::url() const
{
    std::string out;
    urlInto(out);
    return out;
}

void FolderInfo::urlInto(std::string &out) const
{
    if (m_folder == nullptr) {
        out = m_text->url;
        return;
    }
    // fileUrlFromPath(folder + name): the scheme, then both encoded in turn.
    out.assign(UrlScheme);
    format::appendEncodedPath(out, m_folder->pathView());
    format::appendEncodedPath(out, nameView());
    if (m_urlSlash) {
        out.push_back('/');
    }
}

void FolderInfo::urlInto(std::string &out, UrlStart &start) const
{
    if (m_folder == nullptr) {
        out = m_text->url;
        return;
    }
    const std::string_view folder = m_folder->pathView();
    if (start.folderPath != folder) {
        start.folderPath.assign(folder);
        start.url.assign(UrlScheme);
        format::appendEncodedPath(start.url, folder);
    }
    out.assign(start.url);
    format::appendEncodedPath(out, nameView());
    if (m_urlSlash) {
        out.push_back('/');
    }
}

bool FolderInfo::pathInto(std::string &out) const
{
    if (m_folder == nullptr) {
        return format::decodeFileUrl(m_text->url, out);
    }
    out.assign(m_folder->pathView());
    out.append(nameView());
    return true;
}

std::size_t FolderInfo::urlTailHash(std::string &scratch) const
{
    std::string_view tail;
    if (m_folder == nullptr) {
        tail = m_text->url;
    } else if (nameView().empty()) {
        urlInto(scratch); // the folder's own last component
        tail = scratch;
    } else {
        // The URL ends with the encoded name (and a folder's slash).
        scratch.clear();
        format::appendEncodedPath(scratch, nameView());
        tail = scratch;
    }
    if (tail.ends_with('/')) {
        tail.remove_suffix(1);
    }
    if (const std::size_t slash = tail.rfind('/'); slash != std::string_view::npos) {
        tail.remove_prefix(slash + 1);
    }
    return std::hash<std::string_view>{}(tail);
}

void FolderInfo::setUrl(std::string value)
{
    ownText().url = std::move(value);
}

IconRef FolderInfo::icon() const
{
    return m_icon == IconTable::Full ? m_text->icon : icons().at(m_icon);
}

void FolderInfo::setIcon(IconRef value)
{
    m_icon = icons().positionOf(value);
    if (m_icon == IconTable::Full) {
        ownText().icon = value;
    }
}

Rgba FolderInfo::color() const
{
    return m_color == ColorTable::Full ? m_text->color : colors().at(m_color);
}

void FolderInfo::setColor(Rgba value)
{
    m_color = colors().positionOf(value);
    if (m_color == ColorTable::Full) {
        ownText().color = value;
    }
}

const std::shared_ptr<const tree::Anchor> &FolderInfo::anchor() const
{
    return m_folder != nullptr ? *m_folder->anchor : m_text->anchor;
}

void FolderInfo::setAnchor(std::shared_ptr<const tree::Anchor> value)
{
    ownText().anchor = std::move(value);
}

namespace detail {

void *newRecordBlock(std::size_t bytes)
{
    void *block = ::operator new(bytes);
    // The whole pages inside the block. Before Linux 5.14 the advice is
    // refused and the pages come one fault at a time, as without it.
    static const auto Page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
    const auto begin = (reinterpret_cast<std::uintptr_t>(block) + Page - 1) & ~(Page - 1);
    const auto end = (reinterpret_cast<std::uintptr_t>(block) + bytes) & ~(Page - 1);
    if (end > begin) {
        // NOLINTNEXTLINE(performance-no-int-to-ptr)
        ::madvise(reinterpret_cast<void *>(begin), end - begin, MADV_POPULATE_WRITE);
    }
    return block;
}

// A walk holds hundreds of thousands of records: keep each in one cache line.
static_assert(sizeof(void *) != 8 || sizeof(FolderInfo) <= 64, "a record outgrew 64 bytes");

FolderInfo *RecordPool::make(std::string_view path, std::string_view name, bool isDirectory, int level)
{
    // Only where the URL made later is the one fileUrlFromPath(path) makes
    // now, and its path decodes back to `path`: an absolute path, the name
    // its last component, no NUL byte.
    if (name.empty() || path.size() <= name.size() || path.front() != '/' || !path.ends_with(name)
        || path[path.size() - name.size() - 1] != '/' || name.size() > UINT16_MAX
        || path.find('\0') != std::string_view::npos) {
        return nullptr;
    }
    const RecordFolder *folder = folderOf(path.substr(0, path.size() - name.size()), level);
    if (folder == nullptr) {
        return nullptr;
    }
    const std::string_view kept(m_bytes.copy(name), name.size());
    // fileUrlFromPath adds the "/" of a folder unless the path ends in one.
    return new (slot()) FolderInfo(FolderInfo::PoolSpot{}, folder, kept, isDirectory && name.back() != '/');
}

const RecordFolder *RecordPool::folderOf(std::string_view folderPath, int level)
{
    const auto slot = static_cast<std::size_t>(std::max(level, 0));
    if (slot < m_byLevel.size() && m_byLevel[slot] != nullptr && m_byLevel[slot]->pathView() == folderPath) {
        return m_byLevel[slot];
    }
    if (folderPath.size() > UINT32_MAX) {
        return nullptr;
    }
    auto *folder = static_cast<RecordFolder *>(m_bytes.allocate(sizeof(RecordFolder), alignof(RecordFolder)));
    *folder = RecordFolder{ m_bytes.copy(folderPath), static_cast<std::uint32_t>(folderPath.size()), &m_anchor };
    if (slot >= m_byLevel.size()) {
        m_byLevel.resize(slot + 1, nullptr);
    }
    m_byLevel[slot] = folder;
    return folder;
}

} // namespace detail

std::int64_t FolderInfo::getFolderSize(const std::string &url)
{
    const std::optional<std::string> path = format::pathFromFileUrl(url);
    // The existence and is-directory check follows a link, as fileExistsAtPath:isDirectory: does.
    if (!path || !tree::isDirectoryFollowing(*path)) {
        return 0;
    }
    return tree::treeSize(*path, tree::TreeSizeOptions{ .threads = 0, .kept = tree::keptItemsHere() });
}

void FolderInfo::asyncGetFolderSize(const std::string &url, std::function<void(std::int64_t)> doneCalculating)
{
    // The dispatcher in force now serves both halves, even if a test swaps the services meanwhile.
    platform::Dispatcher *dispatch = services().dispatch;
    if (dispatch == nullptr) {
        // No queues installed (a program that never set up its services): answer inline.
        doneCalculating(getFolderSize(url));
        return;
    }
    dispatch->async([dispatch, url, done = std::move(doneCalculating)]() mutable {
        const std::int64_t total = getFolderSize(url);
        dispatch->asyncMain([total, done = std::move(done)] {
            done(total);
        });
    });
}

std::string FolderInfo::getUserHomeDirectory()
{
    std::string home = services().user.homeDir;
    while (home.size() > 1 && home.back() == '/') {
        home.pop_back();
    }
    return home;
}

} // namespace core
