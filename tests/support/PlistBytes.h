#pragma once

#include <cstdint>
#include <fstream>
#include <plist/plist.h>
#include <string>

namespace testing_support {

/// The binary twin of an XML property list, made with libplist; "" when the XML does not parse.
inline std::string xmlToBinaryPlist(const std::string &xml)
{
    plist_t root = nullptr;
    plist_from_xml(xml.data(), static_cast<std::uint32_t>(xml.size()), &root);
    if (root == nullptr) {
        return {};
    }
    char *bin = nullptr;
    std::uint32_t length = 0;
    plist_to_bin(root, &bin, &length);
    std::string out = bin != nullptr ? std::string(bin, length) : std::string();
    plist_to_bin_free(bin);
    plist_free(root);
    return out;
}

/// Wraps the body of a property list in the XML declaration and <plist> element.
inline std::string xmlPlist(const std::string &body)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
           "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
           "<plist version=\"1.0\">"
        + body + "</plist>\n";
}

/// Writes `bytes` to `path` (replacing it). Returns the path.
inline std::string writeBytes(const std::string &path, const std::string &bytes)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
    return path;
}

} // namespace testing_support
