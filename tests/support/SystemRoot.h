// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A planted system root for the system junk tests: the locations below a
// private folder, and fake journalctl, snap and flatpak programs that print
// what a test gives them and record the arguments they were called with.

#include "TempDir.h"

#include <cstdio>
#include <ctime>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace testing_support {

class SystemRoot
{
public:
    /// The root: tmp/"root"; the fake tools: tmp/"tools".
    explicit SystemRoot(const TempDir &tmp)
        : m_tmp(tmp)
        , m_root(tmp.makeDir("root"))
        , m_tools(tmp.makeDir("tools"))
    {
    }

    const std::string &root() const { return m_root; }
    const std::string &tools() const { return m_tools; }
    /// root + "/" + relative
    std::string at(const std::string &relative) const { return m_root + "/" + relative; }

    std::string file(const std::string &relative, std::int64_t size) const
    {
        return m_tmp.writeFile("root/" + relative, size);
    }
    std::string dir(const std::string &relative) const { return m_tmp.makeDir("root/" + relative); }
    std::string link(const std::string &relative, const std::string &target) const
    {
        return m_tmp.makeLink("root/" + relative, target);
    }

    /// A fake `name` in tools(): appends its arguments (one line, separated
    /// by spaces) to log(name), prints `output` and exits with `code`. When
    /// `action` is given, it runs as shell code after logging.
    void fakeTool(
        const std::string &name, const std::string &output, int code = 0, const std::string &action = {}) const
    {
        const std::string outputFile = m_tmp.writeFile("tool-output/" + name, 0);
        writeText(outputFile, output);
        const std::string script = "#!/bin/sh\necho \"$*\" >> '" + log(name) + "'\n" + action + "\ncat '" + outputFile
            + "'\nexit " + std::to_string(code) + "\n";
        const std::string path = m_tools + "/" + name;
        writeText(path, script);
        ::chmod(path.c_str(), 0755);
    }

    /// Where the fake `name` records its calls.
    std::string log(const std::string &name) const { return m_tmp.path() + "/" + name + ".calls"; }
    /// The calls recorded for `name`, one per line ("" when never called).
    std::string calls(const std::string &name) const { return readFile(log(name)); }

    static void writeText(const std::string &path, const std::string &text)
    {
        std::FILE *f = std::fopen(path.c_str(), "w");
        if (f != nullptr) {
            std::fputs(text.c_str(), f);
            std::fclose(f);
        }
    }

private:
    const TempDir &m_tmp;
    std::string m_root;
    std::string m_tools;
};

/// `snap list --all` as snapd prints it, with one disabled revision of core18 and of firefox.
inline const char *SnapListAll = "Name      Version          Rev    Tracking         Publisher   Notes\n"
                                 "core18    20230207         2697   latest/stable    canonical** base,disabled\n"
                                 "core18    20230320         2708   latest/stable    canonical** base\n"
                                 "firefox   119.0-1          3252   latest/stable    mozilla**   disabled\n"
                                 "firefox   120.0-2          3358   latest/stable    mozilla**   -\n";

/// `flatpak uninstall --unused` answered with no (as it does without a terminal).
inline const char *FlatpakUnused = "\n        ID                                   Branch    Op\n"
                                   " 1.     org.gnome.Platform                   43        r\n"
                                   " 2.     org.freedesktop.Platform.GL.default  22.08     r\n"
                                   "\nProceed with these changes to the system installation? [Y/n]: n\n";

} // namespace testing_support
