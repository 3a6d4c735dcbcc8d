#include "platform/FileUrl.h"

#include <array>

namespace core::platform {

namespace {

constexpr std::string_view Scheme = "file://";

bool isUnreserved(unsigned char c)
{
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) {
        return true;
    }
    constexpr std::string_view Allowed = "-._~!$&'()*+,;=:@/";
    return Allowed.find(static_cast<char>(c)) != std::string_view::npos;
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

} // namespace

std::string percentEncodePath(std::string_view path)
{
    static constexpr std::array<char, 16> Hex = {
        '0', '1', '2', '3', '4', '5', '6', '7', '8', '9', 'A', 'B', 'C', 'D', 'E', 'F'
    };
    std::string out;
    out.reserve(path.size() + 8);
    for (const char ch : path) {
        const auto c = static_cast<unsigned char>(ch);
        if (isUnreserved(c)) {
            out.push_back(ch);
        } else {
            out.push_back('%');
            out.push_back(Hex[c >> 4U]);
            out.push_back(Hex[c & 0x0FU]);
        }
    }
    return out;
}

std::string fileUrlFromPath(std::string_view path, bool isDirectory)
{
    std::string url(Scheme);
    url += percentEncodePath(path);
    if (isDirectory && (path.empty() || path.back() != '/')) {
        url.push_back('/');
    }
    return url;
}

std::optional<std::string> pathFromFileUrl(std::string_view url)
{
    if (url.substr(0, Scheme.size()) != Scheme) {
        return std::nullopt;
    }
    std::string_view rest = url.substr(Scheme.size());
    if (rest.substr(0, 9) == "localhost") {
        rest.remove_prefix(9);
    }
    if (rest.empty() || rest.front() != '/') {
        return std::nullopt;
    }
    std::string path;
    path.reserve(rest.size());
    for (std::size_t i = 0; i < rest.size(); ++i) {
        if (rest[i] != '%') {
            path.push_back(rest[i]);
            continue;
        }
        if (i + 2 >= rest.size()) {
            return std::nullopt;
        }
        const int hi = hexValue(rest[i + 1]);
        const int lo = hexValue(rest[i + 2]);
        if (hi < 0 || lo < 0 || (hi == 0 && lo == 0)) {
            return std::nullopt;
        }
        path.push_back(static_cast<char>((hi << 4) | lo));
        i += 2;
    }
    if (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    return path;
}

} // namespace core::platform
