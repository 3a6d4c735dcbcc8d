#include "Output.h"

#include "format/Utf8.h"

#include <cstdio>
#include <unistd.h>
#include <vector>

namespace cli {

std::string displayText(std::string_view bytes)
{
    return core::format::repairUtf8(bytes);
}

void printJson(const nlohmann::json &document)
{
    const std::string text = document.dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fputc('\n', stdout);
}

std::string absolutePath(const std::string &path)
{
    std::string result = path;
    if (result.empty() || result.front() != '/') {
        std::vector<char> buf(4096);
        while (::getcwd(buf.data(), buf.size()) == nullptr && buf.size() < (1U << 20U)) {
            buf.resize(buf.size() * 2);
        }
        std::string cwd(buf.data());
        result = cwd == "/" ? "/" + result : cwd + "/" + result;
    }
    while (result.size() > 1 && result.back() == '/') {
        result.pop_back();
    }
    return result;
}

} // namespace cli
