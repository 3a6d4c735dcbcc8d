// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Runs spruce-cli as a child process for the end-to-end tests, and builds
// the small catalogues they scan.

#include "support/TempDir.h"

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace cli_tests {

struct CliRun
{
    int code = -1;
    std::string out;
    std::string err;
    nlohmann::json json() const { return nlohmann::json::parse(out); }
};

/// Where a run's standard streams and surroundings come from.
struct CliSetup
{
    int stdinFd = -1; // a descriptor to read from (a terminal); /dev/null when -1
    std::string stdoutPath; // a file to write to instead of the pipe (run.out stays empty)
    std::string cwd; // working directory; this process's when empty
    std::vector<std::string> env; // "NAME=value" entries added to (and overriding) this process's environment
    bool exactEnvironment = false; // the child gets `env` alone, nothing of this process's environment

    static CliSetup readingFrom(int fd)
    {
        CliSetup setup;
        setup.stdinFd = fd;
        return setup;
    }
    static CliSetup writingTo(std::string path)
    {
        CliSetup setup;
        setup.stdoutPath = std::move(path);
        return setup;
    }
    static CliSetup workingIn(std::string dir)
    {
        CliSetup setup;
        setup.cwd = std::move(dir);
        return setup;
    }
    static CliSetup withEnvironment(std::vector<std::string> entries)
    {
        CliSetup setup;
        setup.env = std::move(entries);
        return setup;
    }
};

/// Runs `program` with `args` and collects both streams.
CliRun runProgram(const std::string &program, const std::vector<std::string> &args, const CliSetup &setup = {});

/// Runs spruce-cli with `args` (after "--no-progress") and collects both streams.
CliRun runCli(const std::vector<std::string> &args, const CliSetup &setup = {});

/// runCli with stdin on a terminal (a pseudo-terminal) on which `typed` was typed.
CliRun runCliOnTerminal(const std::vector<std::string> &args, const std::string &typed);

bool contains(const std::string &text, const std::string &part);

/// A category dictionary of a catalogue (title, url or urls XML, type).
std::string category(const std::string &title, const std::string &urlXml, const std::string &type = "Folder");

/// A module dictionary of a catalogue.
std::string module(const std::string &tab, const std::string &categories);

/// Writes a catalogue of the five modules with the given categories for
/// systemJunk and applicationJunk (four empty bands for largeAndOldFile).
std::string writeCatalogue(const testing_support::TempDir &tmp,
    const std::string &name,
    const std::string &systemJunkCategories,
    const std::string &applicationJunkCategories);

} // namespace cli_tests
