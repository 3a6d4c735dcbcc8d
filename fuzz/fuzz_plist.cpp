// SPDX-License-Identifier: GPL-3.0-or-later
// The property-list reader on any bytes: XML or binary, as a backup's
// Info.plist, a mail client's data file or a --catalogue could hold them.
// Beyond not crashing, what comes back keeps the reader's promises: no NUL in
// a string or key, one entry per key, nothing deeper than MaxPlistDepth.

#include "FuzzSupport.h"
#include "format/Plist.h"
#include "format/PlistShape.h"

#include <plist/plist.h>
#include <set>
#include <utility>
#include <vector>

using core::format::PlistValue;

namespace {

/// What the shape check promises about the library's own tree, checked on
/// the tree itself: not much deeper than MaxPlistDepth (XML is checked a
/// level or two loosely) and no more nodes than MaxPlistNodes.
void checkLibraryTree(std::string_view bytes)
{
    if (bytes.empty() || bytes.size() > core::format::MaxPlistFileSize || !core::format::plistShapeAcceptable(bytes)) {
        return;
    }
    plist_t root = nullptr;
    plist_from_memory(bytes.data(), static_cast<std::uint32_t>(bytes.size()), &root);
    if (root == nullptr) {
        return;
    }
    std::size_t nodes = 0;
    std::vector<std::pair<plist_t, int>> pending = { { root, 0 } };
    while (!pending.empty()) {
        const auto [node, depth] = pending.back();
        pending.pop_back();
        ++nodes;
        if (depth > core::format::MaxPlistDepth + 2) {
            fuzz::fail("the shape check let a deeper tree through");
        }
        if (plist_get_node_type(node) == PLIST_ARRAY) {
            for (std::uint32_t i = 0; i < plist_array_get_size(node); ++i) {
                pending.emplace_back(plist_array_get_item(node, i), depth + 1);
            }
        } else if (plist_get_node_type(node) == PLIST_DICT) {
            plist_dict_iter iter = nullptr;
            plist_dict_new_iter(node, &iter);
            for (plist_t child = nullptr;;) {
                plist_dict_next_item(node, iter, nullptr, &child);
                if (child == nullptr) {
                    break;
                }
                ++nodes; // its key
                pending.emplace_back(child, depth + 1);
            }
            std::free(iter); // NOLINT(cppcoreguidelines-no-malloc)
        }
    }
    plist_free(root);
    if (nodes > core::format::MaxPlistNodes) {
        fuzz::fail("the shape check let more nodes through");
    }
}

/// Nesting errors show hundreds of levels down, where coverage does not lead.
/// A short input "A\x01B" is also read as the document A...A B...B (each
/// part 300 times), so one unit that fools the depth count is enough to find.
void checkRepeated(std::string_view input)
{
    const std::size_t split = input.find('\x01');
    if (input.size() > 128 || split == std::string_view::npos) {
        return;
    }
    std::string document;
    for (const std::string_view part : { input.substr(0, split), input.substr(split + 1) }) {
        for (int i = 0; i < 300; ++i) {
            document += part;
        }
    }
    checkLibraryTree(document);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    checkLibraryTree(fuzz::text(data, size));
    checkRepeated(fuzz::text(data, size));
    const auto value = core::format::readPlistMemory(fuzz::text(data, size), core::format::MaxPlistNodes);
    if (!value) {
        return 0;
    }
    // Walked with an explicit stack, as deep documents must not need a deep one.
    std::vector<std::pair<const PlistValue *, int>> pending = { { &*value, 0 } };
    std::size_t nodes = 0;
    while (!pending.empty()) {
        const auto [node, depth] = pending.back();
        pending.pop_back();
        ++nodes;
        if (depth > core::format::MaxPlistDepth) {
            fuzz::fail("a node deeper than MaxPlistDepth");
        }
        if (const std::string *s = node->string(); s != nullptr && s->find('\0') != std::string::npos) {
            fuzz::fail("a NUL in a string");
        }
        (void)node->integer();
        (void)node->real();
        (void)node->boolean();
        if (const auto date = node->date(); date && (date->micros < 0 || date->micros >= 1'000'000)) {
            fuzz::fail("a date fraction out of range");
        }
        if (const auto *items = node->array()) {
            for (const PlistValue &item : *items) {
                pending.emplace_back(&item, depth + 1);
            }
        }
        if (const auto *entries = node->dict()) {
            std::set<std::string_view> keys;
            for (const auto &[key, item] : *entries) {
                nodes += 1;
                if (key.find('\0') != std::string::npos) {
                    fuzz::fail("a NUL in a key");
                }
                if (!keys.insert(key).second) {
                    fuzz::fail("a key twice in one dictionary");
                }
                if (node->find(key) != &item) {
                    fuzz::fail("find() does not give the entry of its key");
                }
                pending.emplace_back(&item, depth + 1);
            }
        }
    }
    if (nodes > core::format::MaxPlistNodes) {
        fuzz::fail("more nodes than MaxPlistNodes allows");
    }
    return 0;
}
